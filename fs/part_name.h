#pragma once
// Names under which the tree copy writes a file before renaming it over its
// target. A name is short and of fixed length whatever the target is called,
// so a target name as long as the file system allows still copies; it carries
// the writing process's id and a token drawn once per process, so two runs
// never write or remove each other's files, and a per-file counter.

#include <cstddef>
#include <cstdint>

#include "text/text.h"

// ".~varnelo-" + 8 hex digits of the process id + 8 of the run's random
// token + "-" + 8 of the counter + ".part", lower-case hex.
constexpr std::size_t kPartNameLength = 40;

Text partName(uint32_t processId, uint32_t token, uint32_t counter);
// Whether name has exactly the form partName gives; processId, when given,
// receives the id of the process that wrote it.
bool isPartName(const Text& name, uint32_t* processId = nullptr);
