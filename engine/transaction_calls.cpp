// The transaction calls of the call surface (engine/transaction.h).
#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/last_error.h"

extern "C" {

UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect) {
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    return connection->transaction().begin(connection->serverPath());
}

UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect) {
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    return connection->transaction().commit(connection->serverPath());
}

UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect) {
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    return connection->transaction().rollback(connection->serverPath());
}

UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans) {
    if (!pbInTrans) return engine::fail(AE_INVALID_ARGUMENT, "No place given for the answer.");
    auto connection = engine::connectionFor(hConnect);
    if (!connection) return AE_INVALID_CONNECTION;
    *pbInTrans = connection->transaction().active() ? 1 : 0;
    return AE_SUCCESS;
}

}  // extern "C"
