// The engine module's file is checked before the loader maps it: copies of the real module cut
// short or damaged are refused as an installation to repair (the loader itself would end the
// process with SIGBUS at a page past the file's end), and the module itself loads.
#include "DetectionKit/EngineModule.h"
#include "DetectionKit/ModuleFile.h"
#include "DetectionKit/Recognition.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>

using namespace DetectionKit;

namespace {

template <typename T>
T at(const QByteArray& bytes, quint64 offset) {
    T value;
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

template <typename T>
void put(QByteArray& bytes, quint64 offset, const T& value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// Where the module's first program header of `type` lies in its file, and the end of the
// furthest one.
struct Segments {
    quint64 firstHeader = 0;
    quint64 end = 0;
};

Segments segmentsOf(const QByteArray& module, ElfW(Word) type) {
    const auto header = at<ElfW(Ehdr)>(module, 0);
    Segments found;
    for (int i = header.e_phnum - 1; i >= 0; --i) {
        const quint64 offset = header.e_phoff + quint64(i) * sizeof(ElfW(Phdr));
        const auto segment = at<ElfW(Phdr)>(module, offset);
        if (segment.p_type != type) continue;
        found.firstHeader = offset;
        found.end = std::max<quint64>(found.end, segment.p_offset + segment.p_filesz);
    }
    return found;
}

// The dynamic section said to be mapped past every loadable segment.
QByteArray withDynamicSectionAstray(QByteArray module) {
    const quint64 offset = segmentsOf(module, PT_DYNAMIC).firstHeader;
    auto dynamic = at<ElfW(Phdr)>(module, offset);
    dynamic.p_vaddr += 0x40000000;
    put(module, offset, dynamic);
    return module;
}

std::string refusal(const QString& path) {
    try {
        ModuleFile::load(path);
    } catch (const RecognitionError& error) {
        EXPECT_EQ(error.cause(), RecognitionError::Cause::installationDamaged) << error.what();
        return error.what();
    }
    ADD_FAILURE() << path.toStdString() << " was loaded";
    return {};
}

} // namespace

TEST(ModuleFile, AModuleCutShortOrDamagedIsRefusedAsAnInstallationToRepair) {
    const QByteArray module = TestSupport::readFile(BRINDLECAST_ENGINE_MODULE);
    ASSERT_GT(module.size(), 700000);
    const quint64 loadableEnd = segmentsOf(module, PT_LOAD).end;
    ASSERT_GT(loadableEnd, 700000u);
    ASSERT_LT(loadableEnd, quint64(module.size())) << "the module keeps its symbols past its segments";

    struct Case {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    const Case cases[] = {
        {"empty", {}, "the file is empty"},
        {"cut at 64 bytes", module.left(64), "cut short at 64 bytes, before the end of its program headers"},
        {"cut at 4096 bytes", module.left(4096), "cut short at 4096 bytes, before the end of its loadable segment 1"},
        {"cut at 300000 bytes", module.left(300000), "cut short at 300000 bytes, before the end of its loadable segment"},
        {"cut at 700000 bytes", module.left(700000), "cut short at 700000 bytes, before the end of its loadable segment"},
        // Inside the last page: the loader would map it, with zeros for the missing bytes.
        {"cut a byte short of its last segment's end", module.left(qsizetype(loadableEnd) - 1),
         "before the end of its loadable segment"},
        // The loader needs nothing past here, but the symbols and section headers are gone.
        {"cut at its last segment's end", module.left(qsizetype(loadableEnd)), "before the end of its section"},
        {"cut a byte short", module.left(module.size() - 1), "before the end of its section"},
        {"all zero", QByteArray(module.size(), '\0'), "not a shared object: it has no ELF header"},
        {"a script", "#!/bin/sh\nexit 0\n", "not a shared object: it has no ELF header"},
        {"the ELF magic alone", module.left(4), "cut short at 4 bytes, before the end of its ELF header"},
        {"its dynamic section astray", withDynamicSectionAstray(module), "its dynamic section lies outside"},
    };
    const QString folder = TestSupport::makeTemporaryFolder("modules");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder + "/" + c.name + ".so";
        TestSupport::writeFile(path, c.bytes);
        const std::string refused = refusal(path);
        EXPECT_NE(refused.find(path.toStdString() + ": "), std::string::npos) << refused;
        EXPECT_NE(refused.find(c.says), std::string::npos) << refused;
    }

    // What lies at the path is what is checked: a link is followed to its file.
    ASSERT_TRUE(QFile::link(folder + "/cut at 4096 bytes.so", folder + "/link.so"));
    EXPECT_NE(refusal(folder + "/link.so").find("cut short at 4096 bytes"), std::string::npos);
    EXPECT_NE(refusal(folder + "/missing.so").find("No such file or directory"), std::string::npos);
    ASSERT_TRUE(QDir(folder).mkdir("folder.so"));
    EXPECT_NE(refusal(folder + "/folder.so").find("not a regular file"), std::string::npos);
}

TEST(ModuleFile, TheWholeModuleLoadsByItsPathOrALinkToIt) {
    void* handle = ModuleFile::load(BRINDLECAST_ENGINE_MODULE);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(::dlsym(handle, EngineModule::kEntryPoint), nullptr);

    const QString link = TestSupport::makeTemporaryFolder("modules") + "/link.so";
    ASSERT_TRUE(QFile::link(BRINDLECAST_ENGINE_MODULE, link));
    EXPECT_EQ(ModuleFile::load(link), handle) << "the same file is the same module";
}
