// Sound handles: loading a sound fully into rotating platform buffers, and the
// operations every sound answers (play, stop, query, volume, delete); stream
// sounds are handed to StreamSound.cpp.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/FileAccess.h"
#include "platform/Clock.h"
#include "sound/SoundState.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velox::sound {
namespace {

void ReleaseLoadedSound(SoundRecord& s) {
    for (BufferSlot& slot : s.buffers) {
        if (slot.valid) {
            platform::ReleaseSoundBuffer(slot.buffer);
            slot = BufferSlot{};
        }
    }
    if (s.pcm) {
        MemFree(s.pcm);
        s.pcm = nullptr;
    }
}

// Steps 3 to 5 of a full load: decode, make the buffers, copy the PCM in. The
// file image stays the caller's.
int FillLoadedSound(SoundRecord& s, const uint8_t* image, int32_t size, int32_t bufferCount) {
    file::Stream stream{};
    if (!file::OpenMemoryStream(image, size, stream)) {
        return LogWrite(SJIS("音声ファイルのＰＣＭへの変換に失敗しました"));
    }
    SoundConverter converter{};
    if (SetupSoundConverter(stream, converter) != 0) {
        file::CloseStream(stream);
        return LogWrite(SJIS("音声ファイルのＰＣＭへの変換に失敗しました"));
    }
    // A sound longer than one platform buffer holds is refused, before decoding when
    // its length is known exactly: making the buffer could only fail, and that
    // failure ends the runtime.
    const bool exactLength = converter.kind == kSoundKindPcm || converter.kind == kSoundKindVorbis;
    PcmResult pcm{};
    const int decoded = exactLength && converter.dataSize > platform::kSoundBufferMaxBytes
                            ? -1
                            : DecodeAllSound(converter, pcm);
    TerminateSoundConverter(converter);
    file::CloseStream(stream);
    if (decoded != 0) {
        return LogWrite(SJIS("音声ファイルを格納するメモリ領域の確保に失敗しました"));
    }
    s.pcm = pcm.data;
    s.pcmLength = pcm.length;
    s.format = pcm.format;
    if (uint32_t(s.pcmLength) > platform::kSoundBufferMaxBytes) {
        return LogWrite(SJIS("音声ファイルを格納するメモリ領域の確保に失敗しました"));
    }
    // A format no buffer can take, or less than a buffer's least size, is refused
    // here rather than failing at buffer creation, which would end the runtime.
    if (!platform::IsSoundFormatAccepted(s.format) ||
        s.pcmLength <
            int32_t(std::max<uint32_t>(platform::kSoundBufferMinBytes, s.format.blockAlign))) {
        return LogWrite(SJIS("音声ファイルのＰＣＭへの変換に失敗しました"));
    }

    SoundSystem& sys = Sound();
    platform::SoundBufferDesc desc{kLoadedBufferFlags, uint32_t(s.pcmLength), s.format};
    if (bufferCount > 0) {
        platform::SoundBuffer* first = platform::CreateSoundBuffer(sys.device, desc);
        if (!first) {
            desc.flags = kLoadedBufferFlagsRetry;
            first = platform::CreateSoundBuffer(sys.device, desc);
        }
        if (!first) {
            FatalError(SJIS("DirectSoundBuffer の作成に失敗しました"));
        }
        s.buffers[0] = BufferSlot{1, first};
        s.bufferCount = 1;
        for (int32_t i = 1; i < bufferCount; ++i) {
            platform::SoundBuffer* copy = platform::DuplicateSoundBuffer(sys.device, first);
            if (!copy) {
                break;
            }
            s.buffers[i] = BufferSlot{1, copy};
            s.bufferCount = i + 1;
        }
    }
    for (int32_t i = 0; i < s.bufferCount; ++i) {
        platform::SoundLockRegion region{};
        if (platform::LockSoundBuffer(s.buffers[i].buffer, 0, uint32_t(s.pcmLength), region) != 0) {
            return LogWrite(SJIS("サウンドデータの転送に失敗しました_1"));
        }
        std::memcpy(region.part1, s.pcm, region.bytes1);
        if (region.part2) {
            std::memcpy(region.part2, s.pcm + region.bytes1, region.bytes2);
        }
        if (platform::UnlockSoundBuffer(s.buffers[i].buffer, region) != 0) {
            return LogWrite(SJIS("サウンドデータの転送に失敗しました_2"));
        }
    }
    return 0;
}

int32_t LoadFullSound(const char* path, int32_t bufferCount) {
    uint8_t* image = nullptr;
    int32_t size = 0;
    const int read = ReadWholeFile(path, image, size);
    if (read != 0) {
        LogWriteFormat(read == -1
                           ? SJIS("右記のファイルのオープンに失敗しました：%s")
                           : SJIS("右記のファイルのロードに必要なメモリの確保に失敗しました：%s"),
                       path);
        return LogWriteFormat(SJIS("右記の音声ファイルのロードに失敗しました_1：%s"), path);
    }
    const int32_t handle = core::AllocateHandle(Sound().sounds);
    int result = -1;
    if (handle != core::kNoHandle) {
        auto* s = core::ValidateHandleAs<SoundRecord>(Sound().sounds, handle);
        result = FillLoadedSound(*s, image, size, std::clamp(bufferCount, 0, kMaxSoundBuffers));
    }
    MemFree(image);
    if (result != 0) {
        if (handle != core::kNoHandle) {
            DeleteSoundInner(handle);
        }
        return LogWriteFormat(SJIS("右記の音声ファイルのロードに失敗しました_2：%s"), path);
    }
    return handle;
}

bool BufferPlaying(platform::SoundBuffer* buffer, int& failed) {
    uint32_t status = 0;
    if (platform::GetSoundBufferStatus(buffer, status) != 0) {
        failed = 1;
        return false;
    }
    return (status & platform::kSoundStatusPlaying) != 0;
}

int PlayLoadedSound(SoundRecord& s, int32_t handle, int32_t playType, int32_t fromStart) {
    if (s.bufferCount <= 0) {
        return -1;
    }
    uint32_t cursor = 0;
    platform::GetSoundBufferPosition(s.buffers[s.lastBuffer].buffer, cursor);
    s.lastBuffer = (s.lastBuffer + 1) % s.bufferCount;
    platform::SoundBuffer* buffer = s.buffers[s.lastBuffer].buffer;
    int failed = 0;
    if (BufferPlaying(buffer, failed)) {
        if (!fromStart) {
            return 0;
        }
        platform::StopSoundBuffer(buffer);
    }
    if (failed || platform::SetSoundBufferPosition(buffer, fromStart ? 0 : cursor) != 0 ||
        platform::PlaySoundBuffer(buffer, playType == kPlayLooped) != 0) {
        return -1;
    }
    s.startTime = platform::MilliCount();
    if (playType == kPlayWait) {
        while (IsSoundPlayingInner(handle) == 1 && PumpWhileWaiting()) {
        }
    }
    return 0;
}

} // namespace

int ReadWholeFile(const char* path, uint8_t*& data, int32_t& size) {
    data = nullptr;
    size = 0;
    const intptr_t file = file::gFileAccess.open ? file::gFileAccess.open(path, 0, 1, 0) : 0;
    if (file == 0) {
        return -1;
    }
    int64_t length = -1;
    if (file::gFileAccess.seek(file, 0, 2) == 0) {
        length = file::gFileAccess.tell(file);
    }
    if (length < 0 || file::gFileAccess.seek(file, 0, 0) != 0) {
        file::gFileAccess.close(file);
        return -1;
    }
    if (length > INT32_MAX - 1) {
        file::gFileAccess.close(file);
        return -2;
    }
    auto* bytes =
        static_cast<uint8_t*>(MemAlloc(int32_t(std::max<int64_t>(length, 1)), nullptr, 0));
    if (!bytes) {
        file::gFileAccess.close(file);
        return -2;
    }
    const size_t got = length > 0 ? file::gFileAccess.read(bytes, 1, size_t(length), file) : 0;
    file::gFileAccess.close(file);
    data = bytes;
    size = int32_t(got);
    return 0;
}

SoundRecord* FindSound(int32_t handle) {
    if (!Sound().initialised) {
        return nullptr;
    }
    auto* s = core::ValidateHandleAs<SoundRecord>(Sound().sounds, handle);
    // A ring owner deleted while others share its ring is gone for its caller.
    return s && !s->deletePending ? s : nullptr;
}

int32_t VolumeToAttenuation(int32_t volume) {
    if (volume <= 0) {
        return platform::kSoundAttenuationMin;
    }
    volume = std::min(volume, 255);
    const auto hundredths = int32_t(1000.0 * std::log10(volume / 255.0));
    return std::max(hundredths, platform::kSoundAttenuationMin);
}

int32_t LoadSoundInner(const char* path, int32_t bufferCount, int32_t sharedStream) {
    SoundSystem& sys = Sound();
    if (!sys.initialised || !path) {
        return -1;
    }
    if (sys.loadMode != kLoadModeFull) {
        return LoadStreamSound(path, sys.loadMode, sharedStream);
    }
    return LoadFullSound(path, bufferCount);
}

int DeleteSoundInner(int32_t handle) {
    SoundSystem& sys = Sound();
    if (!sys.initialised) {
        return -1;
    }
    auto* s = core::ValidateHandleAs<SoundRecord>(sys.sounds, handle);
    if (!s) {
        return -1;
    }
    if (!s->stream) {
        StopSoundInner(handle);
        ReleaseLoadedSound(*s);
        return core::ReleaseHandle(sys.sounds, handle);
    }
    StopStreamSound(*s, handle);
    if (s->sharedWith != -1) {
        const int32_t ownerHandle = s->sharedWith;
        auto* owner = core::ValidateHandleAs<SoundRecord>(sys.sounds, ownerHandle);
        s->sharedWith = -1;
        if (owner) {
            --owner->sharerCount;
            if (owner->ringUser == handle) {
                owner->ringUser = -1;
            }
            // Only the last sharer's going frees a ring owner that waits for it.
            if (owner->deletePending && owner->sharerCount <= 0 && ownerHandle != handle) {
                owner->deletePending = 0;
                DeleteSoundInner(ownerHandle);
            }
        }
    }
    if (s->sharerCount > 0) {
        s->deletePending = 1;
        return 0;
    }
    ReleaseStreamEntries(*s);
    if (s->buffers[0].valid) {
        platform::StopSoundBuffer(s->buffers[0].buffer);
        platform::ReleaseSoundBuffer(s->buffers[0].buffer);
        s->buffers[0] = BufferSlot{};
    }
    return core::ReleaseHandle(sys.sounds, handle);
}

int PlaySoundInner(int32_t handle, int32_t playType, int32_t fromStart) {
    SoundRecord* s = FindSound(handle);
    if (!s) {
        return -1;
    }
    if (s->stream) {
        return PlayStreamSound(*s, handle, playType, fromStart);
    }
    return PlayLoadedSound(*s, handle, playType, fromStart);
}

int StopSoundInner(int32_t handle) {
    SoundRecord* s = FindSound(handle);
    if (!s) {
        return -1;
    }
    if (s->stream) {
        return StopStreamSound(*s, handle);
    }
    for (int32_t i = 0; i < s->bufferCount; ++i) {
        int failed = 0;
        const bool playing = BufferPlaying(s->buffers[i].buffer, failed);
        if (failed) {
            return -1;
        }
        if (playing) {
            platform::StopSoundBuffer(s->buffers[i].buffer);
        }
    }
    return 0;
}

int IsSoundPlayingInner(int32_t handle) {
    SoundRecord* s = FindSound(handle);
    if (!s) {
        return -1;
    }
    if (s->stream) {
        return IsStreamPlaying(*s, handle);
    }
    for (int32_t i = 0; i < s->bufferCount; ++i) {
        int failed = 0;
        if (BufferPlaying(s->buffers[i].buffer, failed)) {
            return 1;
        }
    }
    return 0;
}

int SetSoundVolumeInner(int32_t volume, int32_t handle) {
    SoundRecord* s = FindSound(handle);
    if (!s) {
        return -1;
    }
    const int32_t attenuation = VolumeToAttenuation(volume);
    if (s->stream) {
        SoundRecord* owner = RingOwner(*s);
        if (!owner || !owner->buffers[0].valid) {
            return -1;
        }
        return platform::SetSoundBufferAttenuation(owner->buffers[0].buffer, attenuation);
    }
    for (int32_t i = 0; i < s->bufferCount; ++i) {
        if (platform::SetSoundBufferAttenuation(s->buffers[i].buffer, attenuation) != 0) {
            return -1;
        }
    }
    return 0;
}

} // namespace velox::sound
