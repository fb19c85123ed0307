#pragma once

#include <string>

// A stand-in for libburn's drive scan, as a shared library linked ahead of libburn.
//
// burn_drive_scan() behaves like libburn's asynchronous scan: it answers 0 while the scan runs,
// then hands the list to the variables given to the call that started it, and refuses to start
// while drives of an earlier scan are still held. It lists the stdio: drives in
// KESTRIN_STANDIN_DRIVES, in that order, e.g. "reader=stdio:/tmp/a;burner=stdio:/tmp/b": a burner
// as the DVD writer "STANDIN DVD-RW DW-1", a reader as "STANDIN DVD-ROM DR-1", which writes
// nothing. A drive that cannot be opened is left out, as a real scan does.
//
// For what no stdio: drive can be made to do on demand, each when its variable is set:
//   KESTRIN_STANDIN_FREE_BYTES      the free space the medium reports
//   KESTRIN_STANDIN_PROFILE         the medium's profile, e.g. "9 CD-R" (number, then name)
//   KESTRIN_STANDIN_BAD_SECTOR      a sector whose last byte reads back wrong
//   KESTRIN_STANDIN_WRITE_DELAY_MS  how long burn_disc_write() takes to start the write
namespace standin {

// What the program did with the listed drives since the latest scan began, each named by its
// kind, e.g. "forget reader, grab burner, write burner, release burner eject, free burner".
std::string events();

} // namespace standin
