#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

#include "curve/ColorsIni.h"
#include "platform/Text.h"
#include "support/FileTraps.h"

namespace brimvolt {
namespace {

QByteArray Utf16File(const QString& text) {
    return QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(text);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ColorsIni, FirstStartCreatesTheFileWithTheDefaultColour) {
    QTemporaryDir dir;
    const ColorsIniResult result = ReadOrCreateColorsIni(dir.path());

    EXPECT_EQ(result.color.red, 255);
    EXPECT_EQ(result.color.green, 127);
    EXPECT_EQ(result.color.blue, 0);
    EXPECT_EQ(result.dataFolder, QDir(dir.path()).absolutePath() + "/");

    QByteArray expected("\xFF\xFE", 2);
    for (const char c : std::string_view("red\t= 255\r\ngreen\t= 127\r\nblue\t= 0\r\n")) {
        expected.append(c);
        expected.append('\0');
    }
    EXPECT_EQ(ReadFile(dir.filePath("Colors.ini")), expected);
    EXPECT_EQ(expected.size(), 70);

    // The second start reads what the first one wrote.
    const ColorsIniResult again = ReadOrCreateColorsIni(dir.path());
    EXPECT_EQ(again.color.red, 255);
    EXPECT_EQ(again.color.green, 127);
    EXPECT_EQ(again.color.blue, 0);
}

TEST(ColorsIni, ComponentsComeFromTheKeysLowEightBits) {
    struct Case {
        QByteArray bytes;
        int red, green, blue;
        const char* what;
    };
    QByteArray longFile = Utf16File(QString(3000, u';') + "\r\nred=1\r\ngreen=2\r\nblue=3\r\n");
    const Case cases[] = {
        {Utf16File("red\t= 300\r\ngreen\t= 5\r\nblue\t= -1\r\n"), 44, 5, 255, "wrapped"},
        {Utf16File("green = 200\r\n"), 0, 200, 0, "only green"},
        {QByteArray("red=10\r\ngreen=20\r\nblue=30\r\n"), 0, 0, 0, "8-bit text"},
        {platform::Utf16LeBytes(u"red=1\r\ngreen=2\r\nblue=3"), 1, 2, 3, "no byte-order mark"},
        {Utf16File("red=abc\r\ngreen=  +12x\r\nblue=\r\n"), 0, 12, 0, "no digits"},
        {Utf16File("red=1\r\n") + QByteArray(2, '\0') + platform::Utf16LeBytes(u"green=2"), 1, 0, 0,
         "text ends at NUL"},
        {Utf16File("blue=7") + QByteArray(1, 'x'), 0, 0, 7, "odd last byte"},
        {longFile, 1, 2, 3, "keys beyond the first 2004 bytes"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        WriteFile(dir.filePath("Colors.ini"), c.bytes);
        const ColorsIniResult result = ReadOrCreateColorsIni(dir.path());
        EXPECT_EQ(result.color.red, c.red) << c.what;
        EXPECT_EQ(result.color.green, c.green) << c.what;
        EXPECT_EQ(result.color.blue, c.blue) << c.what;
        // Reading never rewrites the operator's file.
        EXPECT_EQ(ReadFile(dir.filePath("Colors.ini")), c.bytes) << c.what;
    }
}

TEST(ColorsIni, FolderThatCannotHoldTheFileKeepsDefaultsAndStillNamesTheFolder) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("not/there");
    const ColorsIniResult result = ReadOrCreateColorsIni(missing);
    EXPECT_EQ(result.color.red, 255);
    EXPECT_EQ(result.color.green, 127);
    EXPECT_EQ(result.color.blue, 0);
    EXPECT_EQ(result.dataFolder, missing + "/");
    EXPECT_FALSE(QFile::exists(missing + "/Colors.ini"));
}

TEST(ColorsIni, UnreadableExistingEntryIsLeftInPlace) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Colors.ini"));
    const ColorsIniResult result = ReadOrCreateColorsIni(dir.path() + "/");
    EXPECT_EQ(result.color.red, 255);
    EXPECT_EQ(result.dataFolder, dir.path() + "/");
    EXPECT_TRUE(QFileInfo(dir.filePath("Colors.ini")).isDir());
}

// Nothing but a regular file is read, so a FIFO cannot stop the start, and nothing is put in a
// node's place; a file that could not be written whole is not left behind, so the next start
// writes it again instead of reading an empty one as black.
TEST(ColorsIni, DeviceFifoOrFullDiskGivesTheDefaultColourAndNoFakeFile) {
    const std::optional<testing::Node> nodes[] = {
        {}, testing::Node::NullDevice, testing::Node::Fifo};
    for (const auto& node : nodes) {
        QTemporaryDir dir;
        const QString path = dir.filePath("Colors.ini");
        ASSERT_TRUE(!node || testing::MakeNode(path, *node));
        // Without a node the disk is full at 64 bytes, short of the 70 the file takes.
        const ColorsIniResult result =
            testing::OnFullDisk(node ? 0 : 64, [&] { return ReadOrCreateColorsIni(dir.path()); });
        EXPECT_EQ(result.color.red, 255);
        EXPECT_EQ(result.color.green, 127);
        EXPECT_EQ(result.color.blue, 0);
        EXPECT_EQ(QFileInfo::exists(path), node.has_value());
        EXPECT_FALSE(QFileInfo(path).isFile());
    }
}

}  // namespace
}  // namespace brimvolt
