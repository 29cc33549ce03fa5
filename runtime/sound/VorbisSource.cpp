// Ogg Vorbis through vorbisfile, reading the converter's stream by callbacks.
#include "core/MemoryTracker.h"
#include "sound/SoundSources.h"

#include <vorbis/vorbisfile.h>

namespace velox::sound {

// Kept in tracked memory so that vorbisfile's pointer to the stream stays valid
// wherever the converter itself lives.
struct VorbisSource {
    OggVorbis_File file;
    file::Stream stream;
};

namespace {

size_t ReadCallback(void* destination, size_t size, size_t count, void* source) {
    const file::Stream& s = static_cast<VorbisSource*>(source)->stream;
    return s.ops->read(destination, size, count, s.data);
}

int SeekCallback(void* source, ogg_int64_t offset, int origin) {
    const file::Stream& s = static_cast<VorbisSource*>(source)->stream;
    return s.ops->seek(s.data, int64_t(int32_t(uint32_t(uint64_t(offset)))), origin);
}

int CloseCallback(void*) {
    return 0; // the stream belongs to the converter's caller
}

long TellCallback(void* source) {
    const file::Stream& s = static_cast<VorbisSource*>(source)->stream;
    return long(s.ops->tell(s.data));
}

} // namespace

bool SetupVorbis(SoundConverter& c) {
    auto* v = static_cast<VorbisSource*>(MemAllocZero(int32_t(sizeof(VorbisSource)), nullptr, 0));
    if (!v) {
        return false;
    }
    v->stream = c.stream;
    const ov_callbacks callbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
    // A failed open clears the decoder state itself.
    if (ov_open_callbacks(v, &v->file, nullptr, 0, callbacks) != 0) {
        MemFree(v);
        return false;
    }
    c.vorbis = v;
    const vorbis_info* info = ov_info(&v->file, -1);
    const ogg_int64_t frames = ov_pcm_total(&v->file, -1);
    if (!info || info->channels < 1 || info->channels > 255 || info->rate < 1 || frames < 0) {
        ReleaseVorbis(c);
        return false;
    }
    // The sound has one format from start to end: a chained file whose later links
    // change rate or channels would play them at the first link's, so it is refused.
    for (long link = 1; link < ov_streams(&v->file); ++link) {
        const vorbis_info* other = ov_info(&v->file, int(link));
        if (!other || other->rate != info->rate || other->channels != info->channels) {
            ReleaseVorbis(c);
            return false;
        }
    }
    const int64_t bytesPerSecond = int64_t(info->channels) * 2 * info->rate;
    const int64_t dataSize = int64_t(frames) * info->channels * 2;
    if (bytesPerSecond > kMaxPcmBytesPerSecond || frames > kMaxSoundBytes) {
        ReleaseVorbis(c);
        return false;
    }
    c.kind = kSoundKindVorbis;
    c.format = platform::MakePcmFormat(uint16_t(info->channels), uint32_t(info->rate), 16);
    c.dataStart = 0;
    c.dataSize = dataSize;
    c.vorbisSampleWidth = 2;
    c.blockSize = kVorbisBlockBytes;
    return true;
}

void ReleaseVorbis(SoundConverter& c) {
    if (c.vorbis) {
        ov_clear(&c.vorbis->file);
        MemFree(c.vorbis);
        c.vorbis = nullptr;
    }
}

int32_t DecodeVorbisBlock(SoundConverter& c) {
    int section = 0;
    long got = ov_read(&c.vorbis->file, reinterpret_cast<char*>(c.block), c.blockSize, 0,
                       c.vorbisSampleWidth, 1, &section);
    // A negative result is a damaged stream: the data ends there.
    return got > 0 ? int32_t(got) : 0;
}

bool SeekVorbis(SoundConverter& c, int64_t frame) {
    return ov_pcm_seek(&c.vorbis->file, frame) == 0;
}

} // namespace velox::sound
