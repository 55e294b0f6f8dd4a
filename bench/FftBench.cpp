// Speed of the transform at the block lengths the recognition pass uses, one
// transform at a time (fft) and in the batched real form (fftRealMany), next
// to FFTW's single-precision complex transform in the same run.
//
//   selvik_fft_bench --benchmark_filter=2048
//
// Every benchmark reports items_per_second in transforms; the batched ones
// also report per_transform, the time of one transform.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "signal/Complex.h"
#include "signal/Fft.h"

#if defined(SELVIK_BENCH_WITH_FFTW)
#include <fftw3.h>
#endif

namespace {

using selvik::Complex;

std::vector<float> randomReals(std::size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> values(n);
    for (float& v : values) v = uniform(generator);
    return values;
}

// One in-place transform per iteration. The input is copied back each time
// (included in the figure) so the values stay those of a real block.
void BM_Fft(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> reals = randomReals(static_cast<std::size_t>(n), 1);
    std::vector<Complex> input(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) input[i] = Complex{reals[i], 0.0f};
    std::vector<Complex> work(input);
    for (auto _ : state) {
        std::memcpy(work.data(), input.data(), input.size() * sizeof(Complex));
        selvik::fft(work.data(), n);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// `count` real blocks to `count` complex spectra per call, as the recognition
// pass does for the window positions of one block.
void BM_FftRealMany(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const auto count = static_cast<std::int32_t>(state.range(1));
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<Complex>> outputs;
    std::vector<const float*> in;
    std::vector<Complex*> out;
    for (std::int32_t i = 0; i < count; ++i) {
        inputs.push_back(randomReals(static_cast<std::size_t>(n), 10u + static_cast<unsigned>(i)));
        outputs.emplace_back(static_cast<std::size_t>(n));
    }
    for (std::int32_t i = 0; i < count; ++i) {
        in.push_back(inputs[i].data());
        out.push_back(outputs[i].data());
    }
    for (auto _ : state) {
        selvik::fftRealMany(in.data(), out.data(), count, n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["per_transform"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

#if defined(SELVIK_BENCH_WITH_FFTW)
// FFTW's forward complex transform, out of place, with the given planner flag.
void runFftw(benchmark::State& state, unsigned flag) {
    const auto n = static_cast<int>(state.range(0));
    fftwf_complex* in = fftwf_alloc_complex(static_cast<std::size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<std::size_t>(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, flag);
    const std::vector<float> reals = randomReals(static_cast<std::size_t>(n), 1);
    for (int i = 0; i < n; ++i) {
        in[i][0] = reals[static_cast<std::size_t>(i)];
        in[i][1] = 0.0f;
    }
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}

void BM_FftwMeasure(benchmark::State& state) { runFftw(state, FFTW_MEASURE); }
void BM_FftwEstimate(benchmark::State& state) { runFftw(state, FFTW_ESTIMATE); }
#endif

constexpr std::int64_t kLengths[] = {1024, 2048, 4096, 8192};

void lengths(benchmark::internal::Benchmark* b) {
    for (std::int64_t n : kLengths) b->Arg(n);
}

void lengthsAndCounts(benchmark::internal::Benchmark* b) {
    b->ArgNames({"n", "count"});
    for (std::int64_t n : kLengths) {
        for (std::int64_t count : {4, 16}) b->Args({n, count});
    }
}

BENCHMARK(BM_Fft)->Apply(lengths);
BENCHMARK(BM_FftRealMany)->Apply(lengthsAndCounts);
#if defined(SELVIK_BENCH_WITH_FFTW)
BENCHMARK(BM_FftwMeasure)->Apply(lengths);
BENCHMARK(BM_FftwEstimate)->Apply(lengths);
#endif

}  // namespace
