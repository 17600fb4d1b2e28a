#pragma once
// The generated signals of the stock source, as 16-bit samples one after the
// other, continuous from frame to frame.
#include <cstdint>

// A sine at half of full scale.
class ToneSignal {
public:
    ToneSignal(double frequencyHz, uint32_t sampleRateHz);
    int16_t NextSample();

private:
    double m_frequencyHz;
    uint32_t m_sampleRateHz;
    uint64_t m_cycleSample = 0;  // index within the current whole number of cycles
};

// A chirp whose frequency rises with time (300 Hz + 40 Hz per second), so
// that no two frames of a run are alike. It starts over every minute to stay
// below the Nyquist frequency of telephone rates.
class ChirpSignal {
public:
    explicit ChirpSignal(uint32_t sampleRateHz);
    int16_t NextSample();

private:
    uint32_t m_sampleRateHz;
    uint64_t m_sampleIndex = 0;
};
