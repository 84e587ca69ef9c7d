#include "kernel/Commands.h"

#include "kernel/DiskCommands.h"
#include "kernel/Editors.h"
#include "kernel/Games.h"
#include "kernel/GraphicsCommands.h"
#include "kernel/NetworkCommands.h"
#include "kernel/PciCommands.h"
#include "kernel/PowerCommands.h"
#include "kernel/ProgramCommands.h"
#include "kernel/ShellCommands.h"

Vector<Command> shell_commands()
{
    Vector<Command> table;
    register_disk_commands(table);
    register_pci_commands(table);
    register_network_commands(table);
    register_graphics_commands(table);
    register_power_commands(table);
    register_program_commands(table);
    register_shell_commands(table);
    register_game_commands(table);
    register_editor_commands(table);
    return table;
}
