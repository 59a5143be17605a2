#pragma once

#include "serverconfig.h"

#include <QTextStream>

namespace OrvaneServer {

class Database;

/** Runs "user add", "user list" or "device add"; returns the exit status. */
int runAdminCommand(const ServerConfig& config, const Database& database, QTextStream& out,
                    QTextStream& err);

} // namespace OrvaneServer
