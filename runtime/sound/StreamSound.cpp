// Stream sounds: up to three sources decoded while they play into a six-second
// ring that the message pump keeps about three seconds ahead of the play cursor.
// Ring positions are also counted as bytes since the ring was prepared, so that
// the end of the audible data and the position heard survive the ring's wrap.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "platform/Clock.h"
#include "sound/SoundState.h"

#include <algorithm>
#include <cstring>

namespace velox::sound {
namespace {

constexpr int32_t kRingSeconds = 6;
constexpr int32_t kFirstFillSeconds = 4;
constexpr uint32_t kWaveImageHeader = 12 + 8 + platform::kWaveFormatRecordSize + 8;

int32_t BytesPerSecond(const SoundRecord& s) {
    return int32_t(s.format.avgBytesPerSec);
}

int32_t WholeFrames(int64_t bytes, const SoundRecord& s) {
    return int32_t(bytes - bytes % s.format.blockAlign);
}

uint8_t SilenceByte(const SoundRecord& s) {
    return s.format.bitsPerSample == 8 ? 0x80 : 0x00;
}

platform::SoundBuffer* Ring(SoundRecord& s) {
    SoundRecord* owner = RingOwner(s);
    return owner && owner->buffers[0].valid ? owner->buffers[0].buffer : nullptr;
}

bool RingPlaying(platform::SoundBuffer* ring) {
    uint32_t status = 0;
    return ring && platform::GetSoundBufferStatus(ring, status) == 0 &&
           (status & platform::kSoundStatusPlaying) != 0;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(v >> (8 * i));
    }
}

// Type 0: the whole source decoded now and kept as a PCM WAVE image in memory.
int DecodeToWaveImage(const uint8_t* file, int32_t size, uint8_t*& image, int32_t& imageSize) {
    file::Stream stream{};
    if (!file::OpenMemoryStream(file, size, stream)) {
        return -1;
    }
    SoundConverter converter{};
    PcmResult pcm{};
    int result = SetupSoundConverter(stream, converter);
    if (result == 0) {
        result = DecodeAllSound(converter, pcm);
        TerminateSoundConverter(converter);
    }
    file::CloseStream(stream);
    if (result != 0 || uint32_t(pcm.length) > uint32_t(INT32_MAX) - kWaveImageHeader) {
        MemFree(pcm.data);
        return -1;
    }
    imageSize = int32_t(kWaveImageHeader + uint32_t(pcm.length));
    image = static_cast<uint8_t*>(MemAlloc(imageSize, nullptr, 0));
    if (!image) {
        MemFree(pcm.data);
        return -1;
    }
    uint8_t* p = image;
    std::memcpy(p, "RIFF", 4);
    PutLe32(p + 4, uint32_t(imageSize - 8));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    PutLe32(p + 16, platform::kWaveFormatRecordSize);
    platform::WaveFormat format = pcm.format;
    format.extraSize = 0;
    platform::WriteWaveFormat(format, p + 20);
    p += 20 + platform::kWaveFormatRecordSize;
    std::memcpy(p, "data", 4);
    PutLe32(p + 4, uint32_t(pcm.length));
    std::memcpy(p + 8, pcm.data, size_t(pcm.length));
    MemFree(pcm.data);
    return 0;
}

void ReleaseEntry(StreamEntry& e) {
    TerminateSoundConverter(e.converter);
    if (e.ownsStream) {
        file::CloseStream(e.stream);
    }
    if (e.data) {
        MemFree(e.data);
    }
    e = StreamEntry{};
}

// Opens the source of an entry and sets its converter up; logs the failure.
int OpenEntry(StreamEntry& e, const char* path, int32_t type) {
    e.type = type;
    if (type == kStreamFromFile) {
        if (!file::OpenFileStream(path, e.stream)) {
            return LogWrite(SJIS("音声データのオープンに失敗しました"));
        }
    } else {
        uint8_t* file = nullptr;
        int32_t size = 0;
        const int read = ReadWholeFile(path, file, size);
        if (read != 0) {
            return LogWrite(read == -1 ? SJIS("音声データのオープンに失敗しました")
                                       : SJIS("音声データの読み込みに失敗しました"));
        }
        e.data = file;
        e.dataSize = size;
        if (type == kStreamDecodedImage) {
            uint8_t* image = nullptr;
            int32_t imageSize = 0;
            const int decoded = DecodeToWaveImage(file, size, image, imageSize);
            MemFree(file);
            e.data = nullptr;
            if (decoded != 0) {
                return LogWrite(SJIS("音声データの変換に失敗しました"));
            }
            e.data = image;
            e.dataSize = imageSize;
        }
        if (!file::OpenMemoryStream(e.data, e.dataSize, e.stream)) {
            return LogWrite(SJIS("音声データの読み込みに失敗しました"));
        }
    }
    e.ownsStream = 1;
    if (SetupSoundConverter(e.stream, e.converter) != 0) {
        return LogWrite(SJIS("音声データの変換に失敗しました"));
    }
    e.pcmBytes = std::max<int64_t>(SoundPcmTotalSize(e.converter), 0);
    return 0;
}

bool SameFormat(const platform::WaveFormat& a, const platform::WaveFormat& b) {
    return a.formatTag == b.formatTag && a.channels == b.channels &&
           a.samplesPerSec == b.samplesPerSec && a.bitsPerSample == b.bitsPerSample &&
           a.blockAlign == b.blockAlign;
}

// The first entry gives the sound its ring: a shared one when the caller named a
// stream sound with its own ring in the same format, else a new one.
void SetUpRing(SoundRecord& s, int32_t sharedStream) {
    SoundSystem& sys = Sound();
    s.sharedWith = -1;
    s.ringUser = -1;
    s.writePosition = kRingNotFilled;
    s.protectedEnd = -1;
    auto* owner = sharedStream != -1 ? core::ValidateHandleAs<SoundRecord>(sys.sounds, sharedStream)
                                     : nullptr;
    if (owner && owner->stream && owner->sharedWith == -1 && !owner->deletePending &&
        owner->buffers[0].valid && SameFormat(owner->format, s.format)) {
        s.sharedWith = sharedStream;
        ++owner->sharerCount;
        return;
    }
    s.ringSize = kRingSeconds * BytesPerSecond(s);
    platform::SoundBufferDesc desc{kStreamRingFlags, uint32_t(s.ringSize), s.format};
    platform::SoundBuffer* ring = platform::CreateSoundBuffer(sys.device, desc);
    if (!ring) {
        FatalError(SJIS("ストリーム風サウンドバッファの作成に失敗しました"));
    }
    s.buffers[0] = BufferSlot{1, ring};
}

void AddMark(SoundRecord& s, int64_t ringByte) {
    if (s.markCount == kRingMarks) {
        std::memmove(s.marks, s.marks + 1, sizeof(RingMark) * (kRingMarks - 1));
        --s.markCount;
    }
    s.marks[s.markCount++] = RingMark{ringByte, s.currentEntry, s.entryRepeats, s.entryByte};
}

// Marks behind the play cursor are of no further use but for the last of them.
void DropPlayedMarks(SoundRecord& s, int64_t played) {
    int32_t keep = 0;
    while (keep + 1 < s.markCount && s.marks[keep + 1].ringByte <= played) {
        ++keep;
    }
    if (keep > 0) {
        std::memmove(s.marks, s.marks + keep, sizeof(RingMark) * size_t(s.markCount - keep));
        s.markCount -= keep;
    }
}

void ResumeFromStart(SoundRecord& s) {
    s.resumeEntry = 0;
    s.resumeRepeats = 0;
    s.resumeByte = 0;
}

// Takes the play cursor into the played count (the ring may have wrapped since).
void TrackCursor(SoundRecord& owner, platform::SoundBuffer* ring) {
    uint32_t cursor = 0;
    if (platform::GetSoundBufferPosition(ring, cursor) != 0 || owner.ringSize <= 0) {
        return;
    }
    const int64_t moved =
        (int64_t(cursor) - int64_t(owner.lastCursor) + owner.ringSize) % owner.ringSize;
    owner.ringPlayed += moved;
    owner.lastCursor = cursor;
}

// The entry that follows the one just used up; false once a sound that is not
// looped has played its last entry.
bool NextPiece(SoundRecord& s) {
    StreamEntry& e = s.entries[s.currentEntry];
    if (e.loopCount == -1 || s.entryRepeats < e.loopCount) {
        ++s.entryRepeats;
    } else {
        s.entryRepeats = 0;
        if (++s.currentEntry == s.entryCount) {
            s.currentEntry = 0;
            if (s.playType != kPlayLooped) {
                return false;
            }
        }
    }
    s.entryByte = 0;
    RewindSoundConverter(s.entries[s.currentEntry].converter);
    return true;
}

// Writes the next PCM of the sound (silence after its end) into one part of a
// locked ring region; ringByte is where the part begins.
void FillPart(SoundRecord& s, uint8_t* out, int32_t bytes, int64_t ringByte) {
    // Entries that yield nothing at all must not keep the fill going round them.
    int32_t emptyPieces = 0;
    while (bytes > 0 && !s.endReached) {
        StreamEntry& e = s.entries[s.currentEntry];
        int32_t got = std::max(ReadSoundPcm(e.converter, out, bytes), 0);
        if (got < bytes) {
            got = WholeFrames(got, s);
        }
        out += got;
        bytes -= got;
        ringByte += got;
        s.entryByte += got;
        if (bytes == 0) {
            break;
        }
        emptyPieces = got == 0 ? emptyPieces + 1 : 0;
        if (emptyPieces > 2 * kMaxStreamEntries || !NextPiece(s)) {
            s.endReached = 1;
            s.endRingByte = ringByte;
            break;
        }
        AddMark(s, ringByte);
    }
    std::memset(out, SilenceByte(s), size_t(bytes));
}

// Locks bytes at the ring's write position, fills them and moves the position on.
void WriteRing(SoundRecord& s, SoundRecord& owner, platform::SoundBuffer* ring, int32_t bytes,
               bool silence) {
    platform::SoundLockRegion region{};
    if (bytes <= 0 || platform::LockSoundBuffer(ring, uint32_t(owner.writePosition),
                                                uint32_t(bytes), region) != 0) {
        return;
    }
    if (silence) {
        std::memset(region.part1, SilenceByte(s), region.bytes1);
        if (region.part2) {
            std::memset(region.part2, SilenceByte(s), region.bytes2);
        }
    } else {
        FillPart(s, region.part1, int32_t(region.bytes1), owner.ringWritten);
        if (region.part2) {
            FillPart(s, region.part2, int32_t(region.bytes2), owner.ringWritten + region.bytes1);
        }
    }
    platform::UnlockSoundBuffer(ring, region);
    owner.ringWritten += bytes;
    owner.writePosition = int32_t((int64_t(owner.writePosition) + bytes) % owner.ringSize);
    const int64_t protect = int64_t(kFirstFillSeconds) * BytesPerSecond(s);
    owner.protectedEnd = int32_t(
        ((owner.writePosition - protect) % owner.ringSize + owner.ringSize) % owner.ringSize);
}

// The stretch from the write position forward to the protected end holds data
// the cursor has not reached; a cursor inside it has overtaken the writing.
bool CursorInProtected(const SoundRecord& owner, uint32_t cursor) {
    if (owner.protectedEnd < 0) {
        return false;
    }
    const auto w = uint32_t(owner.writePosition);
    const auto p = uint32_t(owner.protectedEnd);
    return w <= p ? (cursor >= w && cursor < p) : (cursor >= w || cursor < p);
}

} // namespace

SoundRecord* RingOwner(SoundRecord& s) {
    if (s.sharedWith == -1) {
        return &s;
    }
    return core::ValidateHandleAs<SoundRecord>(Sound().sounds, s.sharedWith);
}

int AddStreamEntry(int32_t handle, const char* path, int32_t type, int32_t sharedStream) {
    auto* s = core::ValidateHandleAs<SoundRecord>(Sound().sounds, handle);
    if (!s) {
        return -1;
    }
    if (s->entryCount > 0 && !s->stream) {
        return LogWrite(
            SJIS("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n"));
    }
    if (s->stream && IsStreamPlaying(*s, handle) == 1) {
        return LogWrite(
            SJIS("既に再生中のストリームサウンドデータにデータを追加しようとしました\n"));
    }
    if (s->entryCount == kMaxStreamEntries) {
        return LogWrite(SJIS("ストリーム風サウンドの制御データ領域がいっぱいです\n"));
    }
    StreamEntry entry{};
    if (OpenEntry(entry, path, type) != 0) {
        ReleaseEntry(entry);
        return -1;
    }
    platform::WaveFormat format = entry.converter.format;
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    format.extraSize = 0;
    // A format the ring cannot take would end the runtime at the ring's creation.
    if (!platform::IsSoundFormatAccepted(format)) {
        ReleaseEntry(entry);
        return LogWrite(SJIS("音声データの変換に失敗しました"));
    }
    if (s->entryCount > 0 && !SameFormat(format, s->format)) {
        ReleaseEntry(entry);
        return LogWrite(SJIS("フォーマットの違う音声データは同時に使うことは出来ません"));
    }
    if (s->entryCount == 0) {
        s->format = format;
        s->stream = 1;
        s->bufferCount = 1;
        SetUpRing(*s, sharedStream);
        s->inStreamList = 1;
    }
    s->entries[s->entryCount++] = entry;
    s->totalPcmBytes += entry.pcmBytes;
    return 0;
}

int32_t LoadStreamSound(const char* path, int32_t type, int32_t sharedStream) {
    SoundSystem& sys = Sound();
    const int32_t handle = core::AllocateHandle(sys.sounds);
    if (handle == core::kNoHandle) {
        return -1;
    }
    if (AddStreamEntry(handle, path, type, sharedStream) != 0) {
        DeleteSoundInner(handle);
        return LogWriteFormat(SJIS("右記のＷＡＶファイルのロードに失敗しました：%s \n"), path);
    }
    auto* s = core::ValidateHandleAs<SoundRecord>(sys.sounds, handle);
    // A shared ring that another sound uses is prepared when this one starts.
    SoundRecord* owner = RingOwner(*s);
    if (owner && owner->ringUser == -1) {
        owner->ringUser = handle;
        if (PrepareStream(*s, handle) != 0) {
            DeleteSoundInner(handle);
            return LogWriteFormat(SJIS("右記のＷＡＶファイルのセットアップに失敗しました：%s \n"),
                                  path);
        }
    }
    return handle;
}

int PrepareStream(SoundRecord& s, int32_t handle) {
    SoundRecord* owner = RingOwner(s);
    platform::SoundBuffer* ring = Ring(s);
    if (!owner || !ring || s.entryCount == 0) {
        return -1;
    }
    if (s.prepared || RingPlaying(ring)) {
        return 0;
    }
    if (platform::SetSoundBufferPosition(ring, 0) != 0) {
        return -1;
    }
    owner->ringUser = handle;
    owner->writePosition = kRingNotFilled;
    owner->protectedEnd = -1;
    owner->ringWritten = 0;
    owner->ringPlayed = 0;
    owner->lastCursor = 0;
    s.currentEntry = std::clamp(s.resumeEntry, 0, s.entryCount - 1);
    s.entryRepeats = s.resumeRepeats;
    s.entryByte = s.resumeByte;
    StreamEntry& e = s.entries[s.currentEntry];
    if (s.entryByte == 0) {
        RewindSoundConverter(e.converter);
    } else {
        SeekSoundConverter(e.converter, s.entryByte / s.format.blockAlign);
    }
    s.endReached = 0;
    s.markCount = 0;
    AddMark(s, 0);
    s.prepared = 1;
    FillStream(s, handle);
    return 0;
}

void FillStream(SoundRecord& s, int32_t handle) {
    SoundRecord* owner = RingOwner(s);
    platform::SoundBuffer* ring = Ring(s);
    if (!owner || !ring || owner->ringUser != handle || !s.prepared) {
        return;
    }
    const int32_t a = BytesPerSecond(s);
    if (owner->writePosition == kRingNotFilled) {
        owner->writePosition = 0;
        WriteRing(s, *owner, ring, WholeFrames(int64_t(kFirstFillSeconds) * a, s), false);
        owner->protectedEnd = 0;
        return;
    }
    if (!RingPlaying(ring)) {
        return;
    }
    TrackCursor(*owner, ring);
    DropPlayedMarks(s, owner->ringPlayed);
    if (s.endReached && owner->ringPlayed >= s.endRingByte) {
        // Everything audible has been heard: the sound ends, and starts over next time.
        platform::StopSoundBuffer(ring);
        s.endReached = 0;
        s.prepared = 0;
        ResumeFromStart(s);
        return;
    }
    if (CursorInProtected(*owner, owner->lastCursor)) {
        return;
    }
    if (s.endReached) {
        WriteRing(s, *owner, ring, WholeFrames(a / 8, s), true);
        return;
    }
    const int64_t lead =
        (int64_t(owner->writePosition) - owner->lastCursor + owner->ringSize) % owner->ringSize;
    const int64_t m = lead * 128 / a;
    const int64_t bytes = m > 383 ? a / 8 : (384 - m) * a / 128;
    WriteRing(s, *owner, ring, WholeFrames(bytes, s), false);
}

int PlayStreamSound(SoundRecord& s, int32_t handle, int32_t playType, int32_t fromStart) {
    SoundRecord* owner = RingOwner(s);
    platform::SoundBuffer* ring = Ring(s);
    if (!owner || !ring) {
        return -1;
    }
    if (owner->ringUser != handle) {
        if (owner->ringUser != -1) {
            auto* other = core::ValidateHandleAs<SoundRecord>(Sound().sounds, owner->ringUser);
            if (other) {
                StopStreamSound(*other, owner->ringUser);
                other->prepared = 0;
            }
        }
        owner->ringUser = handle;
        s.prepared = 0;
    }
    if (!fromStart && IsStreamPlaying(s, handle) == 1) {
        return 0;
    }
    StopStreamSound(s, handle);
    if (fromStart) {
        ResumeFromStart(s);
        s.prepared = 0;
    }
    // What the ring holds was decoded for the last play type; a change between
    // looped and once decodes again from the position heard.
    if ((s.playType == kPlayLooped) != (playType == kPlayLooped)) {
        s.prepared = 0;
    }
    s.playType = playType;
    if (PrepareStream(s, handle) != 0 || platform::PlaySoundBuffer(ring, true) != 0) {
        return -1;
    }
    s.startTime = platform::MilliCount();
    if (playType == kPlayWait) {
        while (IsStreamPlaying(s, handle) == 1 && PumpWhileWaiting()) {
        }
    }
    return 0;
}

int StopStreamSound(SoundRecord& s, int32_t handle) {
    SoundRecord* owner = RingOwner(s);
    platform::SoundBuffer* ring = Ring(s);
    if (!owner || !ring || owner->ringUser != handle) {
        return 0;
    }
    if (s.prepared) {
        TrackCursor(*owner, ring);
        // The position heard: the last mark at or before the cursor, plus the bytes since.
        const int64_t played = owner->ringPlayed;
        if (s.endReached && played >= s.endRingByte) {
            ResumeFromStart(s);
        } else if (s.markCount > 0) {
            DropPlayedMarks(s, played);
            const RingMark& mark = s.marks[0];
            s.resumeEntry = mark.entry;
            s.resumeRepeats = mark.repeats;
            s.resumeByte = mark.entryByte + std::max<int64_t>(played - mark.ringByte, 0);
        }
    }
    if (RingPlaying(ring)) {
        platform::StopSoundBuffer(ring);
    }
    return 0;
}

int IsStreamPlaying(SoundRecord& s, int32_t handle) {
    SoundRecord* owner = RingOwner(s);
    if (!owner || owner->ringUser != handle) {
        return 0;
    }
    return RingPlaying(Ring(s)) ? 1 : 0;
}

void ReleaseStreamEntries(SoundRecord& s) {
    for (int32_t i = 0; i < s.entryCount; ++i) {
        ReleaseEntry(s.entries[i]);
    }
    s.entryCount = 0;
    s.inStreamList = 0;
}

} // namespace velox::sound
