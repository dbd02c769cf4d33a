#include "qsync/register_count.h"

#include <cstddef>

namespace {

// A run of positions: the steps before a register report their positions before they read or
// write it, the init-string and comment loops after each register.
struct PositionRun {
    int first, last;
    int countAtFirst;
    int perPosition;  // 1 in the register loops, 0 where a step reports several positions
};

struct PhaseRuns {
    const PositionRun* runs;
    size_t count;
    int total;
};

template <size_t N>
constexpr PhaseRuns Runs(const PositionRun (&runs)[N])
{
    return PhaseRuns{
        runs, N, runs[N - 1].countAtFirst + runs[N - 1].perPosition * (runs[N - 1].last - runs[N - 1].first)};
}

// Handshake, '?', '>', '0'-'2', '3'-'5', '6', then 'P'-'o' and 'H'-'O' one position each.
constexpr PositionRun kLoadRuns[] = {
    {1, 3, 0, 0}, {4, 4, 1, 0}, {5, 6, 2, 0}, {10, 10, 5, 0}, {14, 18, 8, 0}, {19, 19, 9, 0}, {20, 59, 10, 1},
};
// Handshake, '?', '0'-'2', '3'-'5', '>', '6', 'P'-'o' (20 to 51), 'H'-'O' (50 to 57), comparing.
constexpr PositionRun kWriteRuns[] = {
    {1, 3, 0, 0},   {4, 4, 1, 0},    {8, 8, 4, 0},    {12, 12, 7, 0},  {13, 18, 8, 0},
    {19, 19, 9, 0}, {20, 51, 10, 1}, {50, 57, 42, 1}, {60, 60, 49, 0},
};
constexpr PositionRun kWriteWithoutModelRuns[] = {
    {1, 4, 0, 0},   {8, 8, 3, 0},    {12, 18, 6, 0},  {19, 19, 7, 0},
    {20, 51, 8, 1}, {50, 57, 40, 1}, {60, 60, 47, 0},
};
// '?', '>', '0'-'2', '3'-'5', '6', then 'P'-'o' (18 to 49) and 'H'-'O' (50 to 57), done; model and
// channel are compared only when they are written.
constexpr PositionRun kCompareRuns[] = {
    {1, 1, 0, 0},   {2, 2, 1, 0},    {3, 4, 2, 0},    {8, 8, 5, 0},    {12, 16, 8, 0},
    {17, 17, 9, 0}, {18, 49, 10, 1}, {50, 57, 42, 1}, {60, 60, 49, 0},
};
constexpr PositionRun kCompareWithoutModelRuns[] = {
    {1, 4, 0, 0},   {8, 8, 3, 0},    {12, 16, 6, 0},  {17, 17, 7, 0},
    {18, 49, 8, 1}, {50, 57, 40, 1}, {60, 60, 47, 0},
};

PhaseRuns RunsOf(const RegisterCounter& counter)
{
    switch (counter.phase) {
        case RegisterPhase::Load:
            return Runs(kLoadRuns);
        case RegisterPhase::Write:
            return counter.modelAndChannel ? Runs(kWriteRuns) : Runs(kWriteWithoutModelRuns);
        case RegisterPhase::Compare:
            break;
    }
    return counter.modelAndChannel ? Runs(kCompareRuns) : Runs(kCompareWithoutModelRuns);
}

}  // namespace

RegisterCounter StartCounting(RegisterPhase phase, bool modelAndChannel)
{
    return RegisterCounter{phase, modelAndChannel, 0, 0};
}

int RegistersInPhase(const RegisterCounter& counter)
{
    return RunsOf(counter).total;
}

// Positions rise through a phase, except that the comment loop of the write starts again below
// the end of the init-string loop: a position that does not rise belongs to a later run.
int CountAt(RegisterCounter& counter, int position)
{
    const PhaseRuns phase = RunsOf(counter);
    size_t run = static_cast<size_t>(counter.run) + (position <= counter.lastPosition ? 1 : 0);
    while (run < phase.count && position > phase.runs[run].last)
        ++run;
    counter.lastPosition = position;
    if (run >= phase.count) {
        counter.run = static_cast<int>(phase.count - 1);
        return phase.total;
    }
    counter.run = static_cast<int>(run);
    const PositionRun& r = phase.runs[run];
    if (position < r.first)  // a position between runs: the registers before it are done
        return r.countAtFirst;
    return r.countAtFirst + r.perPosition * (position - r.first);
}
