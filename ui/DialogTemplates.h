// In-memory dialog templates: the layer's empty DLGTEMPLATEEX and the port prompt's DLGTEMPLATE.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An extended template with no controls, the layer's font ("MS Sans Serif", 8 points) and the
// one-blank title that the layer replaces after creation. x and y are given as their low 16 bits.
std::vector<uint8_t> buildLayerTemplate(uint32_t style, uint32_t exStyle, int16_t x, int16_t y,
                                        int16_t width, int16_t height);

// Identifiers of the port prompt's controls.
constexpr int PromptEditId = 101;
constexpr int PromptTextId = 102;

// The port prompt: edit box, OK, Cancel and the prompt text, in the system font.
// The caption is cut to 60 characters, the prompt and the initial text to 256.
std::vector<uint8_t> buildPromptTemplate(const std::string& caption, const std::string& prompt,
                                         const std::string& initialText);
