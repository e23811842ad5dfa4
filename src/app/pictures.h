#pragma once
// The program's own small pictures, drawn in code so that the window, the
// desktop entry's icon and the browse buttons share one drawing.

#include <QImage>

namespace app {

// The program icon: a folder with a land plot's outline on it, at any size
// (16 for the window, larger for the desktop entry).
QImage ProgramIconImage(int size);

// The 16 x 16 picture of the two browse buttons: an opened folder.
QImage FolderImage();

}  // namespace app
