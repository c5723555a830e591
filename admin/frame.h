// The page frame of vardadmin: the page head, the banner, the menu and the footer around the
// content cell into which the dispatched handler writes. Not thread-safe (one request, one
// thread).
#ifndef VARDOMAR_ADMIN_FRAME_H_
#define VARDOMAR_ADMIN_FRAME_H_

namespace vard {

// Writes the page head and the frame up to and including the opening of the content cell.
void WriteAdminFrameStart();

// Closes the content cell and writes the footer row and the end of the document.
void WriteAdminFrameEnd();

}  // namespace vard

#endif  // VARDOMAR_ADMIN_FRAME_H_
