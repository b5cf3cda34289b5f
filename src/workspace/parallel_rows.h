#pragma once
// Splits independent per-row work over the machine's cores. Each band of rows runs on its own
// thread; the bands never share output, so the result is the same as running them in order.
#include <functional>
#include <memory>

namespace talvenor {

// Runs band(first, last) over the rows first..last (inclusive) in contiguous bands, one per
// worker, with at least `minRows` rows per band (small jobs stay on the calling thread).
void ParallelRows(int first, int last, const std::function<void(int, int)>& band, int minRows = 64);

// How many bands ParallelRows would use for `rows` rows.
int RowBands(int rows, int minRows = 64);

// ParallelRows with its worker threads kept from call to call: a pass that splits the work of
// every frame would otherwise start and join threads thousands of times. The bands are the
// same as ParallelRows makes, so results are too. Calls come from one thread at a time.
class RowWorkers {
public:
    RowWorkers();
    ~RowWorkers();
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;
    void Run(int first, int last, const std::function<void(int, int)>& band, int minRows = 64);

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

}  // namespace talvenor
