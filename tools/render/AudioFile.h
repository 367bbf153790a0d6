// WAV files through libsndfile: the renderer's output, written block by block, and the input
// that the effect build processes, read block by block into two channels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace treskpro {

enum class SampleFormat { Float32, Pcm16 };

class AudioFileWriter {
public:
    AudioFileWriter() = default;
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Creates a stereo WAV file. The samples go to a temporary file beside `path`, which
    // replaces `path` only when finish() succeeds, so a failed render leaves an older file at
    // `path` as it was. False with a reason on failure.
    bool open(const std::string& path, int sampleRate, SampleFormat format, std::string& error);

    // Appends `count` frames of the two channels. False when the disk refuses them.
    bool write(const float* left, const float* right, int count);

    // Closes the file and puts it in place; false with a reason when that fails.
    bool finish(std::string& error);

    // Closes and removes the temporary file (also done on destruction without finish()).
    void discard();

private:
    sf_private_tag* file = nullptr;
    std::string target;
    std::string temporary;
    std::vector<float> interleaved;
};

class AudioFileReader {
public:
    AudioFileReader() = default;
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // Opens any format libsndfile reads. False with a reason on failure.
    bool open(const std::string& path, std::string& error);

    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    std::int64_t frames() const { return frameCount; }

    // Reads the next `count` frames into two channels: a mono file feeds both, a file of more
    // channels gives its first two; after the end of the file the channels are silent.
    void read(float* left, float* right, int count);

private:
    sf_private_tag* file = nullptr;
    int rate = 0;
    int channelCount = 0;
    std::int64_t frameCount = 0;
    std::vector<float> interleaved;
};

} // namespace treskpro
