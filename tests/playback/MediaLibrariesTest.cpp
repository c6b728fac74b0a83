// Loading the media libraries at run time: from a folder first, then the system's path.
#include "TestFiles.h"
#include "playback/MediaLibraries.h"
#include "playback/Player.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

const TLibrary kSet[] = {TLibrary::avUtil, TLibrary::swResample, TLibrary::swScale, TLibrary::avCodec,
                         TLibrary::avFormat, TLibrary::avFilter, TLibrary::avDevice};

class MediaLibrariesTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Where the system keeps the libraries: load once from its path to learn it.
        loader.LibraryPath.clear();
        loader.SearchSystemPath = true;
        ASSERT_TRUE(loader.Load(kEngineLibraries)) << loader.LastErrMsg.toStdString();
        systemFolder = QFileInfo(loader.LoadedPath(TLibrary::avCodec)).path();
        loader.Unload(kEngineLibraries);
    }
    void TearDown() override
    {
        loader.SearchSystemPath = true;
        loader.LibraryPath.clear();
        for (TLibrary lib : kSet)
            loader.SetFileName(lib, {});
        loader.Unload(kEngineLibraries);
    }
    // A LibAV folder holding links to the system's libraries, except the ones named.
    void FillFolder(const QString& folder, const QList<TLibrary>& leaveOut = {})
    {
        for (TLibrary lib : kSet) {
            if (!leaveOut.contains(lib)) {
                const QString name = loader.FileName(lib);
                ASSERT_TRUE(QFile::link(QDir(systemFolder).filePath(name), QDir(folder).filePath(name)));
            }
        }
    }
    bool AnyLoaded() const
    {
        for (TLibrary lib : kSet)
            if (loader.Loaded({lib}))
                return true;
        return false;
    }

    TFFLoader& loader = TFFLoader::Instance();
    QString systemFolder;
};

TEST_F(MediaLibrariesTest, AnEmptyFolderWithoutTheSystemPathFailsAndNamesTheFile)
{
    TempFolder libAv;
    loader.LibraryPath = libAv.path();
    loader.SearchSystemPath = false;
    EXPECT_FALSE(loader.Load(kEngineLibraries));
    EXPECT_TRUE(loader.LastErrMsg.startsWith("Load library " + libAv.path() + "libavutil.so.")) << loader.LastErrMsg.toStdString();
    EXPECT_TRUE(loader.LastErrMsg.contains("error(#2)"));
    EXPECT_FALSE(AnyLoaded());
    EXPECT_THROW(loader.CheckLibAV(kEngineLibraries), std::runtime_error);
}

TEST_F(MediaLibrariesTest, AFolderMissingOneLibraryLeavesNoneOfTheSetLoaded)
{
    TempFolder libAv;
    FillFolder(libAv.path(), {TLibrary::avFilter});
    loader.LibraryPath = libAv.path();
    loader.SearchSystemPath = false;
    EXPECT_FALSE(loader.Load(kEngineLibraries));
    EXPECT_TRUE(loader.LastErrMsg.startsWith("Load library ")) << loader.LastErrMsg.toStdString();
    EXPECT_TRUE(loader.LastErrMsg.contains("libavfilter.so.")) << loader.LastErrMsg.toStdString();
    EXPECT_FALSE(AnyLoaded());
    try {
        loader.CheckLibAV(kEngineLibraries);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Library avutil not loaded.");
    }
}

TEST_F(MediaLibrariesTest, TheFolderComesBeforeTheSystemPath)
{
    TempFolder libAv;
    FillFolder(libAv.path());
    loader.LibraryPath = libAv.path();
    loader.SearchSystemPath = false;
    ASSERT_TRUE(loader.Load(kEngineLibraries)) << loader.LastErrMsg.toStdString();
    EXPECT_NO_THROW(loader.CheckLibAV(kEngineLibraries));
    EXPECT_NE(Av().avcodec_version, nullptr);
    EXPECT_EQ(int(Av().avcodec_version() >> 16), LIBAVCODEC_VERSION_MAJOR);
    loader.Unload(kEngineLibraries);
    EXPECT_EQ(Av().avcodec_version, nullptr); // nothing bound stays callable
}

TEST_F(MediaLibrariesTest, AMissingFunctionFailsTheLoadWithItsName)
{
    // libswscale in the place of libavfilter: it lacks avfilter's functions.
    TempFolder libAv;
    FillFolder(libAv.path(), {TLibrary::avFilter});
    ASSERT_TRUE(QFile::link(QDir(systemFolder).filePath(loader.FileName(TLibrary::swScale)), libAv.file("libfake-filter.so")));
    loader.SetFileName(TLibrary::avFilter, libAv.file("libfake-filter.so"));
    EXPECT_FALSE(loader.Load(kEngineLibraries));
    EXPECT_TRUE(loader.LastErrMsg.startsWith("Load function avfilter_get_by_name@")) << loader.LastErrMsg.toStdString();
    EXPECT_FALSE(AnyLoaded());
}

TEST_F(MediaLibrariesTest, TheEngineWarnsWithoutTheStretchingLibraryAndRefusesToOpenWithoutLibraries)
{
    TCustomPlayer player;
    EXPECT_FALSE(player.TryOpen("/nowhere.mp4", nullptr));
    EXPECT_EQ(player.LastErrMsg(), "FFmpeg libraries not loaded.");

    QStringList warnings;
    FFLogger().OnLog = [&](TFFLogger*, quint64, TLogLevel level, const QString& text) {
        if (level == TLogLevel::llWarning)
            warnings << text;
    };
    TempFolder libAv;
    EXPECT_TRUE(player.LoadAVLib(libAv.path())) << player.LastErrMsg().toStdString();
    FFLogger().OnLog = TFFLogger::TOnLog();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith("Load library " + libAv.path() + "libSoundTouch.so")) << warnings[0].toStdString();
    EXPECT_TRUE(player.AVLibLoaded());
}

} // namespace
