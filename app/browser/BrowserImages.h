#pragma once
// The browser's own images: the icon of a file the desktop has no icon for
// ("tnefDDDefaultFile"), of a folder likewise, and the badge laid over the icon of a
// symbolic link ("tnefDDLink"). Drawn, so they scale to any cell.
#include <QImage>
#include <QSize>

namespace browser {

QImage defaultFileImage(QSize size);
QImage defaultFolderImage(QSize size);
QImage linkBadgeImage(QSize size);
// The image with the link badge drawn over its lower left corner, at the image's size.
QImage withLinkBadge(const QImage& image);
// Scaled to fit inside `size`, aspect kept; unchanged for an empty size or a null image.
QImage fittedTo(const QImage& image, QSize size);

} // namespace browser
