#include "Help.h"

#include "core/Prompt.h"

#include <cstdio>

namespace nosk::help {
namespace {

Prompt* g_prompt = nullptr;
Handler g_handler;

void run(Command command, const std::string& file, int id)
{
    int error = g_handler ? g_handler(command, file, id) : 0;
    if (error != 0 && g_prompt) {
        char text[64];
        std::snprintf(text, sizeof text, "Cannot run help! Error %i", error);
        g_prompt->message(text, "NOSKRUN", Buttons::Ok, Icon::Error);
    }
}

} // namespace

void topic(int id, bool circuitWindow)
{
    run(Command::Topic, circuitWindow ? kCircuitWindow : kFile, id);
}

void finder()
{
    run(Command::Finder, kFile, 0);
}

void index()
{
    run(Command::Index, kFile, 0);
}

void setPrompt(Prompt* prompt)
{
    g_prompt = prompt;
}

void setHandler(Handler handler)
{
    g_handler = std::move(handler);
}

} // namespace nosk::help
