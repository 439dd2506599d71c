// The draws seam: uniform values in [0, 1) for every random choice of the host.
#pragma once

#include <deque>
#include <memory>
#include <random>

namespace quizhost {

class draws {
public:
    virtual ~draws() = default;
    virtual double uniform() = 0;  // 0 <= u < 1
};

// One generator seeded once from the operating system's entropy source: draws in the same clock tick
// are independent (re-seeding from the clock before every draw would repeat them).
class generator_draws final : public draws {
public:
    generator_draws();                             // seeded from std::random_device
    explicit generator_draws(std::uint64_t seed);  // fixed seed, for tests and benchmarks
    double uniform() override;

private:
    std::mt19937_64 engine_;
};

// Fixed values queued by tests and movie scripts; when the queue is empty, draws come from `fallback`.
class queued_draws final : public draws {
public:
    explicit queued_draws(std::unique_ptr<draws> fallback) : fallback_(std::move(fallback)) {}
    void queue(double u) { queued_.push_back(u); }
    double uniform() override;

private:
    std::deque<double> queued_;
    std::unique_ptr<draws> fallback_;
};

}  // namespace quizhost
