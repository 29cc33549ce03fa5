#include "platform/KeyCodeMap.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace velox {
namespace {

// The runtime's key-code table: virtual key -> key code, group 1 then group 2, each pair
// with the HID usage of the key of a Japanese 106/109-key keyboard that produces that
// virtual key (for the second Return pair: the pad Enter key).
struct Pair {
    int virtualKey;
    int keyCode;
    int usage;
};

const std::vector<Pair>& KeyCodeTable() {
    static const std::vector<Pair> table = [] {
        std::vector<Pair> t;
        const int letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                 0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
        for (int i = 0; i < 26; ++i) {
            t.push_back({0x41 + i, letters[i], 0x04 + i});
        }
        const int digits[10] = {0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
        for (int i = 0; i < 10; ++i) {
            t.push_back({0x30 + i, digits[i], i == 0 ? 0x27 : 0x1D + i});
        }
        const std::vector<Pair> rest = {
            // arrows
            {0x25, 0xCB, 0x50},
            {0x26, 0xC8, 0x52},
            {0x27, 0xCD, 0x4F},
            {0x28, 0xD0, 0x51},
            // punctuation: ; : [ ] @ \(ro) , - ¥ . /
            {0xBB, 0x27, 0x33},
            {0xBA, 0x92, 0x34},
            {0xDB, 0x1A, 0x30},
            {0xDD, 0x1B, 0x32},
            {0xC0, 0x91, 0x2F},
            {0xE2, 0x2B, 0x87},
            {0xBC, 0x33, 0x36},
            {0xBD, 0x0C, 0x2D},
            {0xDC, 0x7D, 0x89},
            {0xBE, 0x34, 0x37},
            {0xBF, 0x35, 0x38},
            // Delete, Escape, Space, Backspace, Tab, Return
            {0x2E, 0xD3, 0x4C},
            {0x1B, 0x01, 0x29},
            {0x20, 0x39, 0x2C},
            {0x08, 0x0E, 0x2A},
            {0x09, 0x0F, 0x2B},
            {0x0D, 0x1C, 0x28},
            // pad 0-9, * + - . /
            {0x60, 0x52, 0x62},
            {0x61, 0x4F, 0x59},
            {0x62, 0x50, 0x5A},
            {0x63, 0x51, 0x5B},
            {0x64, 0x4B, 0x5C},
            {0x65, 0x4C, 0x5D},
            {0x66, 0x4D, 0x5E},
            {0x67, 0x47, 0x5F},
            {0x68, 0x48, 0x60},
            {0x69, 0x49, 0x61},
            {0x6A, 0x37, 0x55},
            {0x6B, 0x4E, 0x57},
            {0x6D, 0x4A, 0x56},
            {0x6E, 0x53, 0x63},
            {0x6F, 0xB5, 0x54},
            // group 2
            {0x0D, 0x9C, 0x58},
            {0xA0, 0x2A, 0xE1},
            {0xA1, 0x36, 0xE5},
            {0xA2, 0x1D, 0xE0},
            {0xA3, 0x9D, 0xE4},
            {0x21, 0xC9, 0x4B},
            {0x22, 0xD1, 0x4E},
            {0x23, 0xCF, 0x4D},
            {0x24, 0xC7, 0x4A},
            {0x2D, 0xD2, 0x49},
            {0xA4, 0x38, 0xE2},
            {0xA5, 0xB8, 0xE6},
            {0x91, 0x46, 0x47},
            {0x14, 0x3A, 0x39},
            {0x13, 0xC5, 0x48},
        };
        t.insert(t.end(), rest.begin(), rest.end());
        const int functionKeys[12] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                      0x41, 0x42, 0x43, 0x44, 0x57, 0x58};
        for (int i = 0; i < 12; ++i) {
            t.push_back({0x70 + i, functionKeys[i], 0x3A + i});
        }
        return t;
    }();
    return table;
}

TEST(KeyCodeMap, EveryPairOfTheKeyCodeTableGivesItsKeyCode) {
    ASSERT_EQ(KeyCodeTable().size(), 99u);
    for (const Pair& p : KeyCodeTable()) {
        EXPECT_EQ(platform::KeyCodeForUsage(p.usage), p.keyCode)
            << "virtual key 0x" << std::hex << p.virtualKey << ", usage 0x" << p.usage;
    }
}

TEST(KeyCodeMap, EscapeAndSpace) {
    EXPECT_EQ(platform::KeyCodeForUsage(0x29), 1);
    EXPECT_EQ(platform::KeyCodeForUsage(0x2C), 57);
}

TEST(KeyCodeMap, TheRightBracketKeyReadsTheSameUnderBothItsUsages) {
    // Linux reports the Japanese ']' key as the US backslash usage.
    EXPECT_EQ(platform::KeyCodeForUsage(0x31), 0x1B);
    EXPECT_EQ(platform::KeyCodeForUsage(0x32), 0x1B);
}

TEST(KeyCodeMap, ReturnAndPadEnterAreTwoKeys) {
    EXPECT_EQ(platform::KeyCodeForUsage(0x28), 0x1C);
    EXPECT_EQ(platform::KeyCodeForUsage(0x58), 0x9C);
}

TEST(KeyCodeMap, NoTwoKeysShareAKeyCode) {
    std::map<int, int> owner;
    for (int usage = 0; usage < platform::kUsageCount; ++usage) {
        const int code = platform::KeyCodeForUsage(usage);
        if (code == 0 || usage == 0x31) {
            continue; // 0x31 and 0x32 are one key
        }
        EXPECT_TRUE(owner.emplace(code, usage).second)
            << "key code 0x" << std::hex << code << " of usages 0x" << owner[code] << " and 0x"
            << usage;
    }
    // The remaining keys of the Japanese layout have codes too.
    for (int usage : {0x2E, 0x35, 0x88, 0x8A, 0x8B, 0x46, 0x53, 0xE3, 0xE7, 0x65}) {
        EXPECT_NE(platform::KeyCodeForUsage(usage), 0) << "usage 0x" << std::hex << usage;
    }
}

TEST(KeyCodeMap, UsagesThatAreNoKeyGiveZero) {
    for (int usage : {-1, 0, 1, 2, 3, 0xA5, 0xFF, 256, 1000}) {
        EXPECT_EQ(platform::KeyCodeForUsage(usage), 0) << usage;
    }
}

} // namespace
} // namespace velox
