#include "definitions.hpp"

namespace quizhost {

std::string error_description(int number) {
    switch (number) {
        case invalid_procedure_call:
            return "Invalid procedure call or argument";
        case overflow:
            return "Overflow";
        case subscript_out_of_range:
            return "Subscript out of range";
        case type_mismatch:
            return "Type mismatch";
        case error_loading_dll:
            return "Error in loading DLL";
        case file_not_found:
            return "File not found";
        case input_past_end_of_file:
            return "Input past end of file";
        case permission_denied:
            return "Permission denied";
        case path_file_access_error:
            return "Path/File access error";
        case path_not_found:
            return "Path not found";
        case cannot_create_object:
            return "ActiveX component can't create object";
        case dll_function_not_found:
            return "Specified DLL function not found";
        default:
            return "Application-defined or object-defined error";
    }
}

run_time_error::run_time_error(int number) : run_time_error(number, error_description(number)) {}

run_time_error::run_time_error(int number, std::string description)
    : run_time_error(number, std::move(description), std::string{}) {}

run_time_error::run_time_error(int number, std::string description, std::string detail)
    : std::runtime_error(std::to_string(number) + " - " + description + (detail.empty() ? "" : " (" + detail + ")")),
      number_(number),
      description_(std::move(description)),
      detail_(std::move(detail)) {}

}  // namespace quizhost
