#include "tools/render/AudioFile.h"

#include "platform/Platform.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

namespace treskpro {

AudioFileWriter::~AudioFileWriter() {
    discard();
}

bool AudioFileWriter::open(const std::string& path, int sampleRate, SampleFormat format,
                           std::string& error) {
    discard();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format =
        SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    target = path;
    temporary = path + ".part";
    file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot create " + temporary + ": " + sf_strerror(nullptr);
        return false;
    }
    // 16-bit output clips what lies beyond full scale instead of wrapping it around.
    if (format == SampleFormat::Pcm16)
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool AudioFileWriter::write(const float* left, const float* right, int count) {
    if (!file || count < 0)
        return false;
    const auto frames = static_cast<std::size_t>(count);
    if (interleaved.size() < 2 * frames)
        interleaved.resize(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    return sf_writef_float(file, interleaved.data(), count) == count;
}

bool AudioFileWriter::finish(std::string& error) {
    if (!file) {
        error = "no file is open";
        return false;
    }
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) {
        error = "cannot complete " + temporary;
        std::remove(temporary.c_str());
        return false;
    }
    if (!platform::replaceFile(temporary, target)) {
        error = "cannot move " + temporary + " to " + target;
        std::remove(temporary.c_str());
        return false;
    }
    temporary.clear();
    return true;
}

void AudioFileWriter::discard() {
    if (file) {
        sf_close(file);
        file = nullptr;
    }
    if (!temporary.empty()) {
        std::remove(temporary.c_str());
        temporary.clear();
    }
}

AudioFileReader::~AudioFileReader() {
    if (file)
        sf_close(file);
}

bool AudioFileReader::open(const std::string& path, std::string& error) {
    if (file)
        sf_close(file);
    SF_INFO info{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = path + " holds no audio channels";
        sf_close(file);
        file = nullptr;
        return false;
    }
    rate = info.samplerate;
    channelCount = info.channels;
    frameCount = info.frames;
    return true;
}

void AudioFileReader::read(float* left, float* right, int count) {
    const auto frames = static_cast<std::size_t>(std::max(count, 0));
    const auto channels = static_cast<std::size_t>(channelCount);
    if (interleaved.size() < frames * channels)
        interleaved.resize(frames * channels);
    const sf_count_t got =
        file ? sf_readf_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) : 0;
    const auto filled = static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
    for (std::size_t i = 0; i < filled; ++i) {
        left[i] = interleaved[i * channels];
        right[i] = interleaved[i * channels + (channels > 1 ? 1 : 0)];
    }
    std::fill(left + filled, left + frames, 0.0f);
    std::fill(right + filled, right + frames, 0.0f);
}

} // namespace treskpro
