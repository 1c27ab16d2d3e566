#pragma once
// The text side of config.json: the defaults, reading a file's bytes into a
// normalised Config, and the exact bytes that a save writes.

#include "core/config.h"

#include <string>

// server = defaultServerUrl, channel = "default", downloadDir empty.
Config defaultConfig();
// Applies the three known members of a config.json text over the defaults.
// Anything missing, empty, of the wrong type or malformed keeps its default.
Config configFromText(const std::string& bytes);
// UTF-8, line feeds, two-space indentation, the three members in fixed order.
std::string configFileText(const Config& config);
