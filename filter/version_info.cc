// The library's version record: the file version, the description and the library version, kept
// as one plain text in the read-only data of the library so that tools reading the file (or a
// plain `strings`) show them. It is not exported and nothing reads it at run time; `used` keeps
// the optimiser from dropping it.
#ifndef VARD_LIBRARY_VERSION
#error "VARD_LIBRARY_VERSION must be defined by the build"
#endif

namespace vard {
namespace {

[[gnu::used]] constexpr char kVersionRecord[] =
    "vardfilt FileVersion " VARD_LIBRARY_VERSION ".0 FileDescription ISAPI filter - custom authentication "
    "LibraryVersion " VARD_LIBRARY_VERSION;

}  // namespace
}  // namespace vard
