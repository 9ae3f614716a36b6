#include "port_definition.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(SplitField, CutsTheFirstFieldAtTheComma) {
    struct Case {
        std::string before, field, after;
    } const cases[] = {
        {"COM9,38400,E,8", "COM9", "38400,E,8"},
        {"8", "8", ""},
        {"", "", ""},
        {",38400", "", "38400"},
        {"COM9,", "COM9", ""},
        {"COM9\t,38400", "COM9", ""},     // a control byte ends the whole text
        {"COM\x82\xa0,38400", "COM", ""}, // so does a Shift-JIS lead byte
        {" COM9 ,x", " COM9 ", "x"},      // blanks stay part of the field
        {"a\x7f"
         "b,c",
         "a\x7f"
         "b",
         "c"}, // 0x7F is no control byte here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        char remaining[64];
        std::strcpy(remaining, c.before.c_str());
        char field[32];
        std::size_t length = SplitField(field, sizeof field, remaining, ',');
        EXPECT_EQ(field, c.field);
        EXPECT_EQ(length, c.field.size());
        EXPECT_EQ(remaining, c.after);
    }
}

TEST(SplitField, NeverWritesPastTheFieldButReportsTheFullLength) {
    char remaining[64] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ,rest";
    char field[8 + 1] = {};
    field[8] = 'Z'; // guard just past the size given
    std::size_t length = SplitField(field, 8, remaining, ',');
    EXPECT_EQ(length, 26u);
    EXPECT_STREQ(field, "ABCDEFG");
    EXPECT_EQ(field[8], 'Z');
    EXPECT_STREQ(remaining, "rest");
}

TEST(BuildPortTexts, DevicePathAndSettingsText) {
    struct Case {
        std::string definition, name, settings;
    } const cases[] = {
        {"COM9,38400,E,8", "COM9", "COM9:Baud=38400 Parity=E Data=8 Stop=1"},
        {"COM12,38400,N,7,2", "COM12", "COM12:Baud=38400 Parity=N Data=7 Stop=1"},
        {"COM3,38400,O,16", "COM3", "COM3:Baud=38400 Parity=O Data=1 Stop=1"},
        {"COM9,38400,E", "COM9", "COM9:Baud=38400 Parity=E Data= Stop=1"},
        {"COM9", "COM9", "COM9:Baud= Parity= Data= Stop=1"},
        {"", "", ":Baud= Parity= Data= Stop=1"},
        {"com9,38400,e,8", "com9", "com9:Baud=38400 Parity=e Data=8 Stop=1"},
        {"COM9,384\x01"
         "00,E,8",
         "COM9", "COM9:Baud=384 Parity= Data= Stop=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.definition);
        char path[kDevicePathSize];
        char settings[kSettingsTextSize];
        ASSERT_TRUE(BuildPortTexts(c.definition.c_str(), path, settings));
        EXPECT_EQ(std::string(path), "\\\\.\\" + c.name);
        EXPECT_EQ(std::string(settings), c.settings);
    }
}

TEST(BuildPortTexts, RefusesWhatDoesNotFitTheWorkingTexts) {
    struct Case {
        const char* why;
        std::string definition;
        bool fits;
    } const cases[] = {
        {"name of 15 bytes", std::string(15, 'N') + ",1,E,8", true},
        {"name of 16 bytes", std::string(16, 'N') + ",1,E,8", false},
        {"baud of 31 bytes", "COM1," + std::string(31, '9') + ",E,8", true},
        {"baud of 32 bytes", "COM1," + std::string(32, '9') + ",E,8", false},
        {"parity of 32 bytes", "COM1,9600," + std::string(32, 'E') + ",8", false},
        {"definition of 2047 bytes", "COM1,9600,E,8" + std::string(2047 - 13, 'x'), true},
        {"definition of 2048 bytes", "COM1,9600,E,8" + std::string(2048 - 13, 'x'), false},
        {"definition of 5000 bytes", std::string(5000, ','), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        char path[kDevicePathSize];
        char settings[kSettingsTextSize];
        EXPECT_EQ(BuildPortTexts(c.definition.c_str(), path, settings), c.fits);
    }
}

} // namespace
