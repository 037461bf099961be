#pragma once
// The option parser behind CQuillmarkHandler::ParseOptions: the argument vector of one
// file turned into its settings.
#include <string>

#include "platform/LinkSettings.h"

/// Fills settings from the argument vector (argv[1] input, argv[2] output, options
/// from argv[3] on). Throws CPdfException "Error parameter" on a malformed command line.
void ParseOptionsInto(LinkSettings& settings, int argc, char** argv);

/// The "[FILETITLE]" of an input name: its file-name part less the last four
/// characters (empty when the file-name part is four characters or shorter).
std::string FileTitle(const std::string& inputName);
