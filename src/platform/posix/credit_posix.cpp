// Not built yet: the credit library and shell bound at run time.
#include "definitions.hpp"
#include "platform/client_shell.hpp"
#include "platform/credit_library.hpp"

namespace quizhost {
namespace {

class missing_library final : public credit_library {
public:
    std::int32_t cget() override { throw run_time_error(file_not_found); }
    std::int32_t bget() override { throw run_time_error(file_not_found); }
    std::int32_t cuse(std::int32_t) override { throw run_time_error(file_not_found); }
    std::int32_t badd(std::int32_t) override { throw run_time_error(file_not_found); }
};

class missing_shell final : public client_shell {
public:
    std::shared_ptr<shell_object> attach() override { throw run_time_error(cannot_create_object); }
};

}  // namespace

std::unique_ptr<credit_library> make_native_credit_library(const std::string&) { return std::make_unique<missing_library>(); }
std::unique_ptr<client_shell> make_native_client_shell(const std::string&) { return std::make_unique<missing_shell>(); }

}  // namespace quizhost
