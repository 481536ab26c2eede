// The window icon, stored as pixels drawn from the SVG at build time.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// The sizes stored, smallest first.
QList<int> AppIconSizes();
// One size, as stored; null when that size is not stored.
QImage AppIconImage(int size);
// Every stored size; null when none is stored.
QIcon AppIcon();
