#include "stocksignal.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kHalfScale = 0.5 * 32767.0;
constexpr uint32_t kChirpPeriodSeconds = 60;

int16_t ToSample(double unit) { return static_cast<int16_t>(std::lround(kHalfScale * unit)); }

}  // namespace

ToneSignal::ToneSignal(double frequencyHz, uint32_t sampleRateHz)
    : m_frequencyHz(frequencyHz), m_sampleRateHz(sampleRateHz > 0 ? sampleRateHz : 1)
{
}

int16_t ToneSignal::NextSample()
{
    // The phase comes from the sample index, not from a running sum, so it
    // does not drift however long the tone plays.
    const double cycles = m_frequencyHz * static_cast<double>(m_cycleSample) / m_sampleRateHz;
    const double phase = 2.0 * std::numbers::pi * (cycles - std::floor(cycles));
    ++m_cycleSample;
    // Each second holds a whole number of cycles when the frequency is whole;
    // starting the count over then keeps the index small.
    if (m_cycleSample == m_sampleRateHz && m_frequencyHz == std::floor(m_frequencyHz)) {
        m_cycleSample = 0;
    }
    return ToSample(std::sin(phase));
}

ChirpSignal::ChirpSignal(uint32_t sampleRateHz) : m_sampleRateHz(sampleRateHz > 0 ? sampleRateHz : 1) {}

int16_t ChirpSignal::NextSample()
{
    const double t = static_cast<double>(m_sampleIndex) / m_sampleRateHz;
    const double cycles = 300.0 * t + 20.0 * t * t;
    if (++m_sampleIndex == static_cast<uint64_t>(kChirpPeriodSeconds) * m_sampleRateHz) {
        m_sampleIndex = 0;
    }
    return ToSample(std::sin(2.0 * std::numbers::pi * (cycles - std::floor(cycles))));
}
