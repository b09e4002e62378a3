// The table behind FindEmbeddedResource. EmbedResources.cmake generates its
// one definition from the files in resources/; a program that compiles a
// generated table of its own into its objects (as the tests do) uses that one
// instead, because the linker then never pulls the library's copy.
#pragma once

#include "platform/Resources.h"

namespace orvo_resource_table
{
extern const EmbeddedResource* const entries;
extern const size_t count;
} // namespace orvo_resource_table
