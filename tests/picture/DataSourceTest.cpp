#include "JpegMaker.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct SRecorder : CPLProgressNotify
{
    std::vector<double> values;
    void OnProgress(double f) override { values.push_back(f); }
};

// A memory-backed source that reports progress like the file source does.
class CObservedSource final : public CPLDataSource
{
public:
    CObservedSource(const std::vector<std::uint8_t>& data, CPLProgressNotify* progress)
        : CPLDataSource(progress)
    {
        SetNameAndSize("observed", static_cast<int>(data.size()));
        m_readPointer = data.data();
    }
};

} // namespace

TEST(DataSource, ProgressIsReportedAtEveryKibibyteAndOnClose)
{
    struct SCase
    {
        int size, step;
        std::vector<double> expected;
    };
    const SCase cases[] = {
        {4096, 512, {0.25, 0.5, 0.75, 1.0, 1.0}},
        {1000, 100, {1.0}},
    };
    for (const SCase& c : cases) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(c.size));
        SRecorder recorder;
        CObservedSource source(data, &recorder);
        for (int read = 0; read < c.size; read += c.step)
            source.Read(c.step);
        source.Close();
        EXPECT_EQ(recorder.values, c.expected) << c.size;
    }
}

TEST(DataSource, ReadsAreBoundedByTheData)
{
    std::vector<std::uint8_t> data(4096);
    CPLMemorySource source;
    ASSERT_EQ(source.Open(data.data(), 4096), 0);
    EXPECT_STREQ(source.GetName(), "Mem");
    EXPECT_EQ(source.Read(4000), data.data());
    EXPECT_EQ(source.Read(96), data.data() + 4000) << "exactly the rest succeeds";
    try {
        source.Read(1);
        FAIL() << "read past the end";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), kErrEndOfFile);
        EXPECT_STREQ(e.GetText(), "End of file reached while decoding.\n");
    }
    EXPECT_EQ(source.GetBuffer(), data.data() + 4096) << "a failed read leaves the pointer";

    CPLMemorySource small;
    small.Open(data.data(), 100);
    EXPECT_EQ(small.Peek(512), data.data()) << "peeking past the end neither throws nor consumes";
    small.Read(10);
    EXPECT_THROW(small.Read(-5), CTextException);
    EXPECT_EQ(small.GetBuffer(), data.data() + 10) << "a negative count never moves the pointer back";
    EXPECT_EQ(small.GetPosition(), 10);
    small.Close();
    EXPECT_EQ(small.GetName(), nullptr);

    CPLMemorySource odd;
    EXPECT_EQ(odd.Open(nullptr, -7), 0) << "opening memory never fails";
    EXPECT_EQ(odd.GetSize(), 0) << "a negative size is an empty block";
}

TEST(DataSource, FileSourceOpenCodes)
{
    CTempDir dir;
    WriteFile(dir.File("empty"), {});
    WriteFile(dir.File("data"), {1, 2, 3});
    ::mkdir(dir.File("folder").c_str(), 0755);
    struct SCase
    {
        std::string path;
        int code;
    };
    const SCase cases[] = {
        {dir.File("missing.jpg"), kErrFileNotFound},
        {dir.File("no-such-folder/missing.jpg"), kErrPathNotFound},
        {dir.File("data/below-a-file"), kErrPathNotFound},
        {dir.File("empty"), kErrAccessDenied},
        {dir.File("folder"), kErrAccessDenied},
        {dir.File("data"), 0},
    };
    for (const SCase& c : cases) {
        CPLFileSource source;
        EXPECT_EQ(source.Open(c.path.c_str()), c.code) << c.path;
    }
    CPLFileSource source;
    ASSERT_EQ(source.Open(dir.File("data").c_str()), 0);
    EXPECT_EQ(source.GetSize(), 3);
    EXPECT_EQ(source.Read(3)[2], 3);
    EXPECT_STREQ(source.GetName(), dir.File("data").c_str());
}

TEST(DataSource, ResourceSourceNamesAndIds)
{
    static const std::uint8_t raw[] = {9, 8, 7};
    static const std::uint8_t bitmap[] = {1};
    const CResourceModule module(
        {{kRtRcdata, 129, raw, sizeof raw}, {kRtBitmap, 130, bitmap, sizeof bitmap}});
    struct SCase
    {
        int id;
        std::uint16_t type;
        int code;
        const char* name;
    };
    const SCase cases[] = {
        {129, 0, 0, "Resource: 129"},
        {0x10081, 0, 0, "Resource: 65665"},  // only the low 16 bits select the resource
        {130, 0, kErrFileNotFound, nullptr}, // no type means raw data
        {130, kRtBitmap, 0, "Resource: 130"},
        {131, kRtRcdata, kErrFileNotFound, nullptr},
    };
    for (const SCase& c : cases) {
        CPLResourceSource source;
        ASSERT_EQ(source.Open(&module, c.id, c.type), c.code) << c.id;
        if (c.code == 0) {
            EXPECT_STREQ(source.GetName(), c.name);
            EXPECT_EQ(source.GetBuffer(), c.type == kRtBitmap ? bitmap : raw);
        }
    }
}
