#pragma once

#include <QString>
#include <QStringList>

#include <string>

class SimProcess;

// The simulated front for the CTP services' tests: started as a process on free ports with its
// books in dataPath, and the session record pointed at its trading and market-data fronts.
bool startServiceFront(SimProcess &front, const QString &dataPath, const QStringList &extra = {});

// A POST with a JSON body to the front's admin interface (a DELETE when the body is empty);
// true when it was answered with 200.
bool adminRequest(const SimProcess &front, const std::string &path, const std::string &body);
