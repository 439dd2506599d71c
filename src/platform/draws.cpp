#include "platform/draws.hpp"

namespace quizhost {

generator_draws::generator_draws() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    engine_.seed(seed);
}

generator_draws::generator_draws(std::uint64_t seed) : engine_(seed) {}

double generator_draws::uniform() {
    // 53 random bits give every representable double in [0, 1) on the even grid; never 1.
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

double queued_draws::uniform() {
    if (queued_.empty()) return fallback_->uniform();
    const double u = queued_.front();
    queued_.pop_front();
    return u;
}

}  // namespace quizhost
