#pragma once

#include <QString>

// Where this application keeps its files. Under test mode (QStandardPaths::setTestModeEnabled)
// these resolve to Qt's test folders, never a user's real data.
namespace AppPaths {

// The folder of saved logs, "PindleSync" in the user's data folder, with a trailing slash.
// Created (with its parents) when missing; a failure to create it is left to the writer.
QString appSupportFolder();

// The user defaults file in the user's config folder.
QString defaultsFile();

} // namespace AppPaths
