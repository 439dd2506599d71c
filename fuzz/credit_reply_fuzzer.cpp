// The local credit service's reply parser on any bytes, as a garbled, cut or hostile service could send
// them, and the request line built from any message and parameters. A reply that is not one line of
// "KIND VALUE" must be refused with the missing-reply error (9), a text where a number is wanted with a
// type mismatch (13); a request must stay one line whatever the movie sends.
#include <cmath>
#include <cstdint>
#include <string>
#include <variant>

#include "credit/credit_link.hpp"
#include "definitions.hpp"
#include "support/finding.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

void check_reply(const std::string& reply) {
    service_reply parsed;
    try {
        parsed = parse_service_reply(reply);
    } catch (const run_time_error& e) {
        expect(e.number() == subscript_out_of_range, "a bad reply raised an error other than 9", e.what());
        return;
    }
    expect(reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\r\n") == 0,
           "a reply without its line end was taken", reply);
    if (const double* number = std::get_if<double>(&parsed)) {
        expect(reply.rfind("CREDIT ", 0) == 0 || reply.rfind("BANK ", 0) == 0,
               "a number came from a reply of another kind", reply);
        expect(!std::isnan(*number), "a reply gave a number that is not a number", reply);
    }
    try {
        const double number = reply_as_number(parsed);
        expect(!std::isnan(number), "a reply read as a number gave a number that is not a number", reply);
    } catch (const run_time_error& e) {
        expect(e.number() == type_mismatch, "a text reply taken as a number raised an error other than 13", e.what());
    }
}

// The movie's text goes into the request: it must never end the line early or start a second request.
void check_request(const std::string& text) {
    const std::string line = service_request("ADD_BANK", text);
    expect(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0, "a request does not end its line", text);
    expect(line.find_first_of("\r\n") == line.size() - 2, "a request carries a line end inside it", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check_reply(bytes);
    check_request(bytes);
    return 0;
}
