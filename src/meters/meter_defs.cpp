#include "meters/meter_defs.hpp"

#include "basic/numbers.hpp"
#include "basic/text.hpp"

namespace quizhost {

std::string meter_def::row_key(double index) const { return std::string(key) + "," + number_to_text(index); }

std::string_view meter_def::row_label() const {
    switch (shape) {
        case meter_shape::by_game_mode:
            return "mode";
        case meter_shape::by_question:
            return "question";
        case meter_shape::by_band:
            return "band";
        case meter_shape::by_difficulty:
            return "difficulty";
        case meter_shape::one:
            break;
    }
    return "";
}

const meter_def* find_meter(std::string_view key) {
    const std::string wanted = to_upper_ascii(key);
    for (const meter_def* def : all_meters) {
        if (def->key == wanted) return def;
    }
    return nullptr;
}

int first_row(meter_shape shape) { return shape == meter_shape::one || shape == meter_shape::by_game_mode ? 0 : 1; }

int last_row(meter_shape shape, const meter_dimensions& dimensions) {
    switch (shape) {
        case meter_shape::one:
            return 0;
        case meter_shape::by_game_mode:
            return dimensions.question_tables;
        case meter_shape::by_question:
            return dimensions.questions;
        case meter_shape::by_band:
            return prize_bands;
        case meter_shape::by_difficulty:
            return dimensions.difficulties;
    }
    return 0;
}

}  // namespace quizhost
