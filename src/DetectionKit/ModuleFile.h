#pragma once

#include <QString>

namespace DetectionKit::ModuleFile {

// Loads a shared object of the app's own (the engine module) with dlopen, RTLD_NOW | RTLD_LOCAL,
// once its file is found whole. The loader maps every part the file's headers name without
// looking at its size, so a file cut short (an interrupted copy, a disk that filled during an
// upgrade) would bring the process down with SIGBUS at the first page past its end; a cut inside
// the last page loads, with zeros where the data was.
//
// Whole means: an ELF shared object of this program's class, byte order and machine whose program
// headers, loadable segments, dynamic section, section headers and sections all lie inside the
// file. The file checked is the file loaded: it is opened once and loaded through that
// descriptor, which stays open as long as the module is loaded (for good: it is never unloaded),
// since debuggers and the sanitizers' symbolisers read the module by the name it was loaded under.
//
// Returns dlopen's handle. Throws RecognitionError (Cause::installationDamaged), its text naming
// the file and what is wrong with it, when the file is missing, unreadable, damaged or refused by
// the loader. Runs on a worker: it reads the file's headers.
void* load(const QString& path);

} // namespace DetectionKit::ModuleFile
