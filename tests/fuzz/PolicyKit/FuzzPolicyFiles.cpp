// The live preference store over arbitrary files: the input up to its first line break is a
// managed policy file, the rest the user's preference file. Resolution never throws, and a
// damaged managed file takes nothing away from a good one beside it.
#include "PolicyKit/EffectivePolicy.h"
#include "PolicyKit/PreferenceStore.h"

#include "../SidecarKit/FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

using namespace PolicyKit;

namespace {

void writeFile(const QString& path, QByteArrayView bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes.data(), bytes.size()) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir root;
    FUZZ_CHECK(root.isValid());
    const QString managed = root.path() + "/managed";
    QDir(managed).removeRecursively();
    QDir().mkpath(managed);
    QDir().mkpath(root.path() + "/user");
    QFile::setPermissions(managed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);

    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\n');
    writeFile(managed + "/99-org.json", R"({"BlockedBundleIDs":["com.example.vault"]})");
    writeFile(managed + "/50-fuzz.json", split < 0 ? input : input.first(split));
    const QString userFile = root.path() + "/user/preferences.json";
    QFile::remove(userFile);
    if (split >= 0) writeFile(userFile, input.sliced(split + 1));

    const ManagedFolder folder{managed, ::geteuid(), root.path()};
    const PolicyResolution result = EffectivePolicy::resolve(PreferenceStore::live(folder, userFile));
    // The good file sorts last, so it wins every key it sets, whatever the fuzzed file holds.
    FUZZ_CHECK(result.policy.blockedBundleIDs.contains("com.example.vault"));
    return 0;
}
