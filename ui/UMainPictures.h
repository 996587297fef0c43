// The window's own small drawings: the program icon, the advertising picture of the Results page
// and the pictures of the project list's buttons.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantrel {

// The program icon (two folders and a curved arrow on a teal tile), at the usual sizes. The
// installed icon file ui/icons/vantrel.svg shows the same drawing.
QIcon ProgramIcon();
// Paints the program icon at `size` × `size` pixels.
QPixmap ProgramIconPixmap(int size);
// The 55 × 55 picture of the advertising panel.
QPixmap AdvertPicture();
// 16 × 16 pictures: a pencil for "Edit Caption", a crossed-out sheet for "Remove Project".
QIcon EditCaptionIcon();
QIcon RemoveProjectIcon();

}  // namespace vantrel
