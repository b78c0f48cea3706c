#include "BenchSupport.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace Bench {

void require(bool condition, const QString &why)
{
    if (!condition)
        throw Failure(why);
}

int setting(const char *name, int defaultValue)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : defaultValue;
}

int rounds(int defaultRounds)
{
    return setting("BENCH_ROUNDS", defaultRounds);
}

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
} // namespace

Result alternate(int rounds, const std::function<double()> &project, const std::function<double()> &floor)
{
    std::vector<double> projects, floors;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            projects.push_back(project());
            floors.push_back(floor());
        } else {
            floors.push_back(floor());
            projects.push_back(project());
        }
        std::fprintf(stderr, "  round %d: project %.4f s, floor %.4f s\n", round + 1, projects.back(),
                     floors.back());
    }
    return {median(projects), median(floors)};
}

void print(const char *job, const Result &result)
{
    const double ratio = result.floor > 0 ? result.project / result.floor : 0;
    std::printf("bench %s: project %.4f s, floor %.4f s, ratio %.2f\n", job, result.project, result.floor, ratio);
    std::fflush(stdout);
}

int run(const char *job, const std::function<Result()> &body)
{
    try {
        print(job, body());
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench %s: could not run: %s\n", job, e.what());
        return 1;
    }
}

double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace Bench
