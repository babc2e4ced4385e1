#pragma once

#include <QtGlobal>

// Registers the compiled-in resources of the static library vc_res. Call once
// from the program (or test) before the first ":/res/..." path is used.
inline void vcInitResources()
{
    Q_INIT_RESOURCE(vcres);
}
