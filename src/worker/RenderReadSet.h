#pragma once

#include <QStringList>

// What rendering may read: the folders and files where ImageMagick's,
// Ghostscript's and fontconfig's resources resolve on this machine, with
// every link inside them followed to where it leads, and what the C library
// and the loader read. Only system files: beneath /usr, /etc, /var/lib,
// /var/cache and /opt, never the home or the temporary folders' parent, where
// other workers keep theirs. A user's own fonts and settings stay out.
class RenderReadSet
{
public:
    // Derived on the first call; make it before the first child is forked,
    // and after ImageMagick has started, so that every child inherits it.
    static const QStringList &paths();
};
