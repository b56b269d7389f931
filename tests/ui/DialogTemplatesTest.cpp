// The template writer against the bytes windres produces for the same dialogs.
#include "ui/DialogTemplates.h"
#include "ui/TemplateWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#ifdef QUARL_REFERENCE_RES
namespace {
uint32_t read32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t read16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// Dialog resources (type 5) of a .res file, by numeric name.
std::map<uint16_t, std::vector<uint8_t>> readDialogResources(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    std::map<uint16_t, std::vector<uint8_t>> dialogs;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        const uint32_t dataSize = read32(file, at);
        const uint32_t headerSize = read32(file, at + 4);
        const bool numericType = read16(file, at + 8) == 0xFFFF;
        const uint16_t type = read16(file, at + 10);
        const bool numericName = read16(file, at + 12) == 0xFFFF;
        const uint16_t name = read16(file, at + 14);
        if (numericType && type == 5 && numericName) {
            const auto data = file.begin() + static_cast<long>(at + headerSize);
            dialogs[name] = std::vector<uint8_t>(data, data + dataSize);
        }
        at += headerSize + dataSize;
        at = (at + 3) & ~size_t{3};
    }
    return dialogs;
}

class ReferenceTemplates : public ::testing::Test {
  protected:
    std::map<uint16_t, std::vector<uint8_t>> reference = readDialogResources(QUARL_REFERENCE_RES);
};
} // namespace

TEST_F(ReferenceTemplates, LayerTemplateMatchesWindresByteForByte) {
    ASSERT_EQ(reference.count(1), 1u);
    ASSERT_EQ(reference.count(2), 1u);
    EXPECT_EQ(buildLayerTemplate(0x82CA0854, 0, 0, 0, 330, 203), reference[1]);
    EXPECT_EQ(buildLayerTemplate(0x80C000D4, 8, 7, -3, 150, 80), reference[2]);
}

TEST_F(ReferenceTemplates, PromptTemplateMatchesWindresByteForByte) {
    ASSERT_EQ(reference.count(3), 1u);
    const std::vector<uint8_t> ours =
        buildPromptTemplate("Choose your active COM port", "Input COM port, 1 to 255", "");
    // windres pads the last item to a DWORD; the dialog manager reads no further than its text.
    std::vector<uint8_t> expected = reference[3];
    ASSERT_GE(expected.size(), ours.size());
    EXPECT_EQ(std::vector<uint8_t>(expected.begin(), expected.begin() + ours.size()), ours);
    for (size_t i = ours.size(); i < expected.size(); ++i) {
        EXPECT_EQ(expected[i], 0) << "at " << i;
    }
}
#endif

TEST(TemplateWriter, WidensEachByteWithoutConversionAndStopsAtNulOrLimit) {
    TemplateWriter out;
    out.writeString(std::string("A\xE9\0Z", 4));
    EXPECT_EQ(out.bytes(), (std::vector<uint8_t>{'A', 0, 0xE9, 0, 0, 0}));

    TemplateWriter cut;
    cut.writeString("abcdef", 3);
    EXPECT_EQ(cut.bytes(), (std::vector<uint8_t>{'a', 0, 'b', 0, 'c', 0, 0, 0}));
}

TEST(TemplateWriter, AlignsToDwordFromTheStart) {
    TemplateWriter out;
    out.write(0x1234);
    out.alignToDword();
    EXPECT_EQ(out.bytes().size(), 4u);
    out.alignToDword();
    EXPECT_EQ(out.bytes().size(), 4u);
    out.writeByte(1);
    out.alignToDword();
    EXPECT_EQ(out.bytes(), (std::vector<uint8_t>{0x34, 0x12, 0, 0, 1, 0, 0, 0}));
}

namespace {
// Characters of the UTF-16 title of the prompt template (after the fixed 18-byte header).
std::u16string promptCaption(const std::vector<uint8_t>& bytes) {
    std::u16string text;
    for (size_t at = 22; at + 1 < bytes.size(); at += 2) {
        const char16_t c = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
}
} // namespace

TEST(PromptTemplate, CutsTheCaptionToSixtyCharacters) {
    const std::string longCaption(80, 'c');
    EXPECT_EQ(promptCaption(buildPromptTemplate(longCaption, "p", "")), std::u16string(60, u'c'));
    EXPECT_EQ(promptCaption(buildPromptTemplate("short", "p", "")), u"short");
}

TEST(PromptTemplate, CutsPromptAndInitialTextTo256Characters) {
    const std::string longText(300, 'x');
    const std::vector<uint8_t> full = buildPromptTemplate("c", longText, longText);
    const std::vector<uint8_t> at256 =
        buildPromptTemplate("c", longText.substr(0, 256), longText.substr(0, 256));
    EXPECT_EQ(full, at256);
}
