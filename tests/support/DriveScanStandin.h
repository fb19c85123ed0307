#pragma once

#include <string>

// A stand-in for libburn's drive scan, as a shared library linked ahead of libburn.
//
// burn_drive_scan() answers 0 while the scan runs and fails while drives of an earlier scan are
// held, as libburn's own scan does; then it lists the stdio: drives in KESTRIN_STANDIN_DRIVES, e.g.
// "reader=stdio:/tmp/a;burner=stdio:/tmp/b": a burner as "STANDIN DVD-RW DW-1", a reader as
// "STANDIN DVD-ROM DR-1"; a drive that cannot be opened is left out. When set,
// KESTRIN_STANDIN_BAD_SECTOR is a sector whose last byte reads back wrong and
// KESTRIN_STANDIN_WRITE_DELAY_MS how long burn_disc_write() takes to start the write.
namespace standin {

// What the program did with the listed drives since the latest scan began, each named by its
// kind, e.g. "forget reader, grab burner, write burner, release burner eject, free burner".
std::string events();

} // namespace standin
