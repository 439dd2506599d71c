#include "platform/client_shell.hpp"

#include "definitions.hpp"

namespace quizhost {

std::string shell_error_description(int number) {
    switch (number) {
        case shell_no_such_method:
            return "Object doesn't support this property or method";
        case shell_automation_error:
            return "Automation error";
        default:
            return error_description(number);
    }
}

}  // namespace quizhost
