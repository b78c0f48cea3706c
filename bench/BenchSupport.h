#pragma once

// Shared pieces of the benchmarks: each job times the program's own code path
// and its floor (the same work done directly) in the same run, alternately,
// for several rounds, and prints the medians on one line.

#include <QString>

#include <functional>
#include <stdexcept>

namespace Bench {

// A benchmark that cannot run (setup failed, wrong result): the job ends
// with a message and a non-zero exit status.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &why) : std::runtime_error(why.toStdString()) {}
};

// Throws a Failure with the text when the condition does not hold.
void require(bool condition, const QString &why);

// The number of rounds: BENCH_ROUNDS when set, else the job's default.
int rounds(int defaultRounds);
// An integer setting of the job from the environment, else the default.
int setting(const char *name, int defaultValue);

struct Result {
    double project = 0; // seconds, median
    double floor = 0;   // seconds, median
};

// Runs project and floor alternately (their order swapped every round);
// each returns the seconds its timed part took. Every round is printed on
// the error output.
Result alternate(int rounds, const std::function<double()> &project, const std::function<double()> &floor);

// "bench <job>: project <s> s, floor <s> s, ratio <r>" on standard output.
void print(const char *job, const Result &result);

// Runs the job, prints its line; returns the process exit status.
int run(const char *job, const std::function<Result()> &body);

// Seconds since an arbitrary start, monotonic.
double now();

} // namespace Bench
