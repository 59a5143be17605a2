#include "admincommands.h"

#include "accountstore.h"
#include "database.h"

#include <QFile>

namespace OrvaneServer {

namespace {

int userAdd(const ServerConfig& config, AccountStore& accounts, QTextStream& out,
            QTextStream& err) {
    const QString email = AccountStore::normalizeEmail(config.email);
    if (!AccountStore::isPlausibleEmail(email) || config.passwordFile.isEmpty()) {
        err << "user add needs --email with a valid address and --password-file\n";
        return 2;
    }
    QFile file(config.passwordFile);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "cannot read " << config.passwordFile << ": " << file.errorString() << "\n";
        return 2;
    }
    // One line: the trailing newline of a file written with echo is not part of the password.
    const QString password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n'));
    if (password.size() < 8) {
        err << "the password needs at least 8 characters\n";
        return 2;
    }
    AccountStore::CreateError error{};
    const std::optional<UserRecord> user = accounts.createUser(email, password, &error);
    if (!user) {
        err << (error == AccountStore::CreateError::EmailTaken ? "a user with this email exists\n"
                                                               : "the user could not be stored\n");
        return 1;
    }
    out << "created user " << user->id << " " << user->email << "\n";
    return 0;
}

int deviceAdd(const ServerConfig& config, AccountStore& accounts, QTextStream& out,
              QTextStream& err) {
    const std::optional<UserRecord> user =
        accounts.findByEmail(AccountStore::normalizeEmail(config.email));
    if (!user) {
        err << "no user with the email \"" << config.email << "\"\n";
        return 1;
    }
    const QString key = accounts.createDevice(user->id);
    if (key.isEmpty()) {
        err << "the device could not be stored\n";
        return 1;
    }
    out << key << "\n";
    return 0;
}

} // namespace

int runAdminCommand(const ServerConfig& config, const Database& database, QTextStream& out,
                    QTextStream& err) {
    AccountStore accounts(database);
    const QString command = config.command.join(QLatin1Char(' '));
    if (command == QLatin1String("user add"))
        return userAdd(config, accounts, out, err);
    if (command == QLatin1String("device add"))
        return deviceAdd(config, accounts, out, err);
    if (command == QLatin1String("user list")) {
        for (const UserRecord& user : accounts.listUsers())
            out << user.id << "\t" << user.email << "\n";
        return 0;
    }
    err << "unknown command \"" << command << "\" (see --help)\n";
    return 2;
}

} // namespace OrvaneServer
