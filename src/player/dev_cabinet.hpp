// The development cabinet of `quizhost dev`: a cabinet folder of its own, outside the developer's folder and
// the source tree, in which the host keeps what it writes (system/, variable/, the credit state), while the
// movies and the question files stay where the developer keeps them and are only read from there.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quizhost {

// The developer's folder or the cabinet folder cannot serve (not there, not a movie, a cabinet that would lie
// inside the developer's folder or the source tree).
class dev_cabinet_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct dev_cabinet_request {
    // A cabinet-shaped folder (flash_game/, and intro/, data/, system/setup.ini when it has them) or one
    // game movie's folder (its index.html).
    std::string source;
    std::string cabinet;      // the cabinet folder; "" for the one `default_dev_cabinet_folder` names
    std::string state_home;   // $XDG_STATE_HOME, else ~/.local/state
    std::string source_tree;  // the checkout quizhost was built from ("" when unknown): the cabinet stays out
    // The stand-in credit library to copy into the cabinet at every start (it may have been rebuilt); "" for
    // none (the first credit command then fails, as on a cabinet without its library).
    std::string credit_library;
    std::string credit_library_name;  // its name in the cabinet ("libtccomm.so")
    double first_credit = 500;        // a new cabinet's credit
};

struct dev_cabinet {
    std::string root;                // the cabinet folder, absolute
    std::string intro_folder;        // the intro movie served: the developer's, or the cabinet's own stand-in
    std::string game_folder;         // the developer's game movie
    std::string credit_state;        // the stand-ins' credit state file in the cabinet
    bool reused = false;             // the folder was there from an earlier run (its meters and credit kept)
    std::vector<std::string> notes;  // what was set up, one line each, for the developer
};

// STATE_HOME/quizhost-dev/NAME, NAME the source folder's name and a short digest of its whole path, so two
// folders of the same name get two cabinets and the same folder always the same one.
std::string default_dev_cabinet_folder(const std::string& source, const std::string& state_home);

// Makes the cabinet folder (or takes the one there): the stand-in credit library copied in, a credit state with
// `first_credit` when there is none, data/ a link to the developer's question files, the developer's
// setup.ini copied when the cabinet has none, and a stand-in intro (one that ends at once) when the developer
// has no intro. Writes nothing in the source folder. Throws dev_cabinet_error.
dev_cabinet prepare_dev_cabinet(const dev_cabinet_request& request);

// The intro movie of a development cabinet whose developer has none: says where it is and sends
// "INTRO_END" at once.
extern const char* const dev_intro_page;

}  // namespace quizhost
