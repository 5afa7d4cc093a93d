#pragma once

#include <QString>
#include <QStringList>

#include <string>

class SimProcess;

// The simulated front for the CTP services' tests: started as a process on free ports with its
// books in dataPath, requiring terminal authentication as a real broker does, and the session
// record pointed at its trading and market-data fronts and given its demo terminal.
bool startServiceFront(SimProcess &front, const QString &dataPath, const QStringList &extra = {});
// The terminal pair the platform's configuration names for the demo front.
void useDemoTerminal();

// A POST with a JSON body to the front's admin interface (a DELETE when the body is empty);
// true when it was answered with 200.
bool adminRequest(const SimProcess &front, const std::string &path, const std::string &body);
