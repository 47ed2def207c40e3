#pragma once
// The tables of the PostgreSQL store and their versions.

#include "store/postgres/PgConnection.h"

namespace snapora::server {

// The store's advisory locks, each held until its transaction ends, are
// pairs of numbers: (1, 0) upgrading the schema; (2, hash of the name)
// opening a session of a name; (3, session id) adding a screenshot to it.

int PgSchemaVersion();

// Brings the schema to this build's version, once, in one transaction under
// a lock, so that instances starting together upgrade it one after the
// other. Throws StoreError for a schema newer than this build's.
void UpgradePgSchema(PgConnection& connection);

}  // namespace snapora::server
