#pragma once
// The tables of the PostgreSQL store and their versions.

#include "store/postgres/PgConnection.h"

namespace snapora::server {

// Advisory locks of the store, taken for the length of a transaction: the
// first number names what is locked, the second which one.
enum class PgLock : int {
    Schema = 1,          // the upgrade
    SessionName = 2,     // opening a session of a name (its hash)
    SessionUploads = 3,  // adding a screenshot to a session (its id)
};

int PgSchemaVersion();

// Brings the schema to this build's version, once, in one transaction under
// a lock, so that instances starting together upgrade it one after the
// other. Throws StoreError for a schema newer than this build's.
void UpgradePgSchema(PgConnection& connection);

}  // namespace snapora::server
