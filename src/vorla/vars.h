// vars.h: the application's template variables: Time (the shifted date),
// Config (the current text of another option) and Special (a quote).
#pragma once

#include <cstdint>

struct Script;

// Sets the reporting switches and the delimiters "{" "}", and registers the
// eleven variables in their order. 1.
std::int32_t AppRegisterVariables(Script* script);
