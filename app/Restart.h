#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TOneInstance;

// The start of the new build after an update, from a copy that is ending.
namespace Restart {

// How the new copy is started: program, arguments, working folder. True when it started.
using Starter =
    std::function<bool(const QString& program, const QStringList& arguments, const QString& folder)>;

// Releases this copy's single-instance lock first (the new copy must not find
// it taken and end as a second copy), then starts executable with --restarted,
// which makes it wait a while for a lock that is still held. start defaults to
// a detached process. True when the new copy was started.
bool startNewCopy(std::unique_ptr<TOneInstance>& lock, const QString& executable, const Starter& start = {});

}  // namespace Restart
