#pragma once
// Runs several Qt Test classes in one process, so that the engine starts once,
// and lets one function of one class be run by itself (each is a test of its
// own in ctest).

#include <QObject>

#include <memory>
#include <vector>

namespace quillar::test {

// The command line, after Qt's own options:
//   --list                 prints Class::function, one a line, and runs nothing
//   Class::function[:tag]  runs that function of that class only
//   Class                  runs that class only
//   function[:tag]         runs the function in the classes that have it
//   -option [value]        passed to Qt Test for each class that runs
// Without a selection every class runs. A class or function that no class
// has is refused (status 2) before anything runs. The status is the number
// of classes that failed.
int RunTestClasses(const std::vector<std::unique_ptr<QObject>>& classes, int argc, char** argv);

} // namespace quillar::test
