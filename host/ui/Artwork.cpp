#include "host/ui/Artwork.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerResources()
{
    Q_INIT_RESOURCE(kolvane);
}

namespace Artwork {

void load()
{
    static const bool loaded = [] {
        registerResources();
        return true;
    }();
    Q_UNUSED(loaded);
}

} // namespace Artwork
