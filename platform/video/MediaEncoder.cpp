#include "platform/video/MediaEncoder.h"

#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace velox::platform::video {
namespace {

constexpr int kFramesPerSecond = 30;
constexpr int kSoundRate = 44100;
// A key frame every five seconds keeps seeking usable without bloating a still show.
constexpr int kKeyFrameInterval = 5 * kFramesPerSecond;

struct Container {
    const char* extension;
    const char* format;
    const char* videoCodec;
    const char* audioCodec;
    int64_t audioBitRate;
};

constexpr Container kContainers[] = {
    {".mp4", "mp4", "libx264", "aac", 192000},
    {".mkv", "matroska", "libx264", "aac", 192000},
    {".webm", "webm", "libvpx-vp9", "libopus", 160000},
};

std::string Lower(std::string s) {
    for (char& c : s) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

const Container* ContainerFor(const std::string& path) {
    const std::string lower = Lower(path);
    for (const Container& c : kContainers) {
        const size_t n = std::strlen(c.extension);
        if (lower.size() > n && lower.compare(lower.size() - n, n, c.extension) == 0) {
            return &c;
        }
    }
    return nullptr;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

bool IsRecordingContainer(const std::string& path) {
    return ContainerFor(path) != nullptr;
}

struct MediaEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    int audioFrameSize = 0;
    int64_t videoPts = 0;
    int64_t audioPts = 0;
    bool converted = false;
    bool fileOpen = false;
    bool headerWritten = false;
    std::string failure;

    ~State() {
        if (headerWritten && failure.empty()) {
            av_write_trailer(format);
        }
        if (fileOpen) {
            avio_closep(&format->pb);
        }
        avformat_free_context(format);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(sws);
        swr_free(&swr);
        if (fifo) {
            av_audio_fifo_free(fifo);
        }
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
    }

    bool Fail(const std::string& what, int code) {
        if (failure.empty()) {
            failure = code ? what + ": " + AvError(code) : what;
        }
        return false;
    }

    // Moves every packet the encoder has ready into the file.
    bool Drain(AVCodecContext* codec, AVStream* stream) {
        for (;;) {
            int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                return true;
            }
            if (r < 0) {
                return Fail("encoding failed", r);
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            r = av_interleaved_write_frame(format, packet);
            if (r < 0) {
                return Fail("writing failed", r);
            }
        }
    }

    bool Send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        int r = avcodec_send_frame(codec, frame);
        if (r < 0) {
            return Fail("encoding failed", r);
        }
        return Drain(codec, stream);
    }

    bool OpenVideo(const Container& c, const EncoderSettings& s) {
        const AVCodec* codec = avcodec_find_encoder_by_name(c.videoCodec);
        if (!codec) {
            return Fail(std::string("no ") + c.videoCodec + " encoder", 0);
        }
        video = avcodec_alloc_context3(codec);
        video->width = s.width;
        video->height = s.height;
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->time_base = {1, kFramesPerSecond};
        video->framerate = {kFramesPerSecond, 1};
        video->gop_size = kKeyFrameInterval;
        // What the RGB to YUV conversion below produces.
        video->colorspace = AVCOL_SPC_SMPTE170M;
        video->color_range = AVCOL_RANGE_MPEG;
        if (format->oformat->flags & AVFMT_GLOBALHEADER) {
            video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        AVDictionary* options = nullptr;
        const int quality = std::clamp(s.quality, 0, 51);
        if (std::strcmp(c.videoCodec, "libx264") == 0) {
            av_dict_set(&options, "preset", "veryfast", 0);
            av_dict_set_int(&options, "crf", quality, 0);
        } else {
            // VP9's constant quality runs 0..63; real-time speed keeps headless runs quick.
            video->bit_rate = 0;
            av_dict_set_int(&options, "crf", (quality * 63 + 25) / 51, 0);
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set_int(&options, "cpu-used", 8, 0);
            av_dict_set_int(&options, "row-mt", 1, 0);
        }
        int r = avcodec_open2(video, codec, &options);
        av_dict_free(&options);
        if (r < 0) {
            return Fail(std::string("cannot open ") + c.videoCodec, r);
        }
        videoStream = avformat_new_stream(format, nullptr);
        if (!videoStream) {
            return Fail("cannot add the video stream", 0);
        }
        videoStream->time_base = video->time_base;
        videoStream->avg_frame_rate = video->framerate;
        r = avcodec_parameters_from_context(videoStream->codecpar, video);
        if (r < 0) {
            return Fail("cannot describe the video stream", r);
        }
        picture = av_frame_alloc();
        picture->format = video->pix_fmt;
        picture->width = video->width;
        picture->height = video->height;
        r = av_frame_get_buffer(picture, 0);
        return r < 0 ? Fail("out of memory", r) : true;
    }

    bool OpenAudio(const Container& c) {
        const AVCodec* codec = avcodec_find_encoder_by_name(c.audioCodec);
        if (!codec) {
            return Fail(std::string("no ") + c.audioCodec + " encoder", 0);
        }
        audio = avcodec_alloc_context3(codec);
        audio->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        // The mix's own rate when the codec takes it (AAC); Opus wants 48000.
        audio->sample_rate = kSoundRate;
        if (const int* rates = codec->supported_samplerates) {
            audio->sample_rate = rates[0];
            for (const int* r = rates; *r; ++r) {
                if (*r == kSoundRate || (*r == 48000 && audio->sample_rate != kSoundRate)) {
                    audio->sample_rate = *r;
                }
            }
        }
        av_channel_layout_default(&audio->ch_layout, 2);
        audio->bit_rate = c.audioBitRate;
        audio->time_base = {1, audio->sample_rate};
        if (format->oformat->flags & AVFMT_GLOBALHEADER) {
            audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        int r = avcodec_open2(audio, codec, nullptr);
        if (r < 0) {
            return Fail(std::string("cannot open ") + c.audioCodec, r);
        }
        audioStream = avformat_new_stream(format, nullptr);
        if (!audioStream) {
            return Fail("cannot add the sound stream", 0);
        }
        audioStream->time_base = audio->time_base;
        r = avcodec_parameters_from_context(audioStream->codecpar, audio);
        if (r < 0) {
            return Fail("cannot describe the sound stream", r);
        }
        audioFrameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
        AVChannelLayout stereo;
        av_channel_layout_default(&stereo, 2);
        r = swr_alloc_set_opts2(&swr, &audio->ch_layout, audio->sample_fmt, audio->sample_rate,
                                &stereo, AV_SAMPLE_FMT_S16, kSoundRate, 0, nullptr);
        if (r < 0 || (r = swr_init(swr)) < 0) {
            return Fail("cannot convert the sound", r);
        }
        fifo = av_audio_fifo_alloc(audio->sample_fmt, 2, audioFrameSize * 4);
        sound = av_frame_alloc();
        return fifo && sound ? true : Fail("out of memory", 0);
    }

    // Encodes whole codec frames from the FIFO; at the end also the remainder,
    // padded with silence when the codec wants full frames.
    bool EncodeFifo(bool final) {
        while (av_audio_fifo_size(fifo) >= audioFrameSize ||
               (final && av_audio_fifo_size(fifo) > 0)) {
            const int n = std::min(av_audio_fifo_size(fifo), audioFrameSize);
            const bool shortOk = audio->codec->capabilities &
                                 (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME);
            av_frame_unref(sound);
            sound->nb_samples = shortOk ? n : audioFrameSize;
            sound->format = audio->sample_fmt;
            sound->sample_rate = audio->sample_rate;
            av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
            int r = av_frame_get_buffer(sound, 0);
            if (r < 0) {
                return Fail("out of memory", r);
            }
            av_samples_set_silence(sound->data, 0, sound->nb_samples, 2, audio->sample_fmt);
            if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), n) != n) {
                return Fail("sound buffer failed", 0);
            }
            sound->pts = audioPts;
            audioPts += sound->nb_samples;
            if (!Send(audio, audioStream, sound)) {
                return false;
            }
        }
        return true;
    }

    // Converts to the codec's format and rate; nullptr input drains the resampler.
    bool Convert(const int16_t* frames, uint32_t count) {
        const int room = swr_get_out_samples(swr, int(count));
        if (room <= 0) {
            return true;
        }
        uint8_t** planes = nullptr;
        int r = av_samples_alloc_array_and_samples(&planes, nullptr, 2, room, audio->sample_fmt, 0);
        if (r < 0) {
            return Fail("out of memory", r);
        }
        const auto* in = reinterpret_cast<const uint8_t*>(frames);
        int got = swr_convert(swr, planes, room, frames ? &in : nullptr, int(count));
        bool ok = got >= 0 || Fail("cannot convert the sound", got);
        if (ok && got > 0 &&
            av_audio_fifo_write(fifo, reinterpret_cast<void**>(planes), got) != got) {
            ok = Fail("out of memory", 0);
        }
        av_freep(&planes[0]);
        av_freep(&planes);
        return ok;
    }
};

MediaEncoder::MediaEncoder() : state_(std::make_unique<State>()) {}
MediaEncoder::~MediaEncoder() = default;

std::unique_ptr<MediaEncoder> MediaEncoder::Open(const EncoderSettings& settings,
                                                 std::string& error) {
    const Container* container = ContainerFor(settings.path);
    if (!container) {
        error = "a recording is a .mp4, .webm or .mkv file";
        return nullptr;
    }
    av_log_set_level(AV_LOG_ERROR);
    std::unique_ptr<MediaEncoder> encoder(new MediaEncoder());
    State& s = *encoder->state_;
    int r = avformat_alloc_output_context2(&s.format, nullptr, container->format,
                                           settings.path.c_str());
    if (r < 0 || !s.format) {
        error = "cannot make a " + std::string(container->format) + " file: " + AvError(r);
        return nullptr;
    }
    s.packet = av_packet_alloc();
    if (!s.packet || !s.OpenVideo(*container, settings) || !s.OpenAudio(*container)) {
        error = s.failure.empty() ? "out of memory" : s.failure;
        return nullptr;
    }
    r = avio_open(&s.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        error = "cannot write " + settings.path + ": " + AvError(r);
        return nullptr;
    }
    s.fileOpen = true;
    // Sound may reach the worker in large late batches (headless mixing is lazy); the
    // interleaver waits for it instead of writing the streams apart.
    av_opt_set_int(s.format, "max_interleave_delta", 0, 0);
    r = avformat_write_header(s.format, nullptr);
    if (r < 0) {
        error = "cannot write " + settings.path + ": " + AvError(r);
        return nullptr;
    }
    s.headerWritten = true;
    return encoder;
}

bool MediaEncoder::AddVideoFrame(const uint32_t* pixels, int width, int height, int pitchBytes,
                                 bool same) {
    State& s = *state_;
    if (!s.failure.empty()) {
        return false;
    }
    if (!same || !s.converted) {
        int r = av_frame_make_writable(s.picture);
        if (r < 0) {
            return s.Fail("out of memory", r);
        }
        if (pixels) {
            s.sws = sws_getCachedContext(
                s.sws, width, height, AV_PIX_FMT_BGR0, s.video->width, s.video->height,
                AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
            if (!s.sws) {
                return s.Fail("cannot convert the picture", 0);
            }
            const uint8_t* src[1] = {reinterpret_cast<const uint8_t*>(pixels)};
            const int stride[1] = {pitchBytes};
            sws_scale(s.sws, src, stride, 0, height, s.picture->data, s.picture->linesize);
        } else {
            // Before the first picture the screen is black.
            std::memset(s.picture->data[0], 16, size_t(s.picture->linesize[0]) * size_t(height));
            for (int p = 1; p < 3; ++p) {
                std::memset(s.picture->data[p], 128,
                            size_t(s.picture->linesize[p]) * size_t((s.video->height + 1) / 2));
            }
        }
        s.converted = true;
    }
    s.picture->pts = s.videoPts++;
    return s.Send(s.video, s.videoStream, s.picture);
}

bool MediaEncoder::AddSound(const int16_t* frames, uint32_t count) {
    State& s = *state_;
    if (!s.failure.empty()) {
        return false;
    }
    return count == 0 || (s.Convert(frames, count) && s.EncodeFifo(false));
}

bool MediaEncoder::Finish(std::string& error) {
    State& s = *state_;
    if (s.failure.empty() && s.Convert(nullptr, 0) && s.EncodeFifo(true) &&
        s.Send(s.audio, s.audioStream, nullptr) && s.Send(s.video, s.videoStream, nullptr)) {
        int r = av_write_trailer(s.format);
        s.headerWritten = false;
        if (r < 0) {
            s.Fail("cannot finish the file", r);
        }
        r = avio_closep(&s.format->pb);
        s.fileOpen = false;
        if (r < 0) {
            s.Fail("cannot finish the file", r);
        }
    }
    error = s.failure;
    return s.failure.empty();
}

uint64_t MediaEncoder::VideoFrames() const {
    return uint64_t(state_->videoPts);
}

} // namespace velox::platform::video
