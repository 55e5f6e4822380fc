// The table handles open on each connection, so that a disconnect can close them.
// Internal to engine/.
#ifndef VELDA_ENGINE_OPEN_TABLES_H
#define VELDA_ENGINE_OPEN_TABLES_H

#include "engine/ace.h"

namespace engine {

// Closes every table handle opened on the connection (its pending changes are discarded: a
// disconnect cannot fail). AdsDisconnect calls it before it drops the connection.
void closeTablesOf(ADSHANDLE connection);

}  // namespace engine

#endif
