"""Helpers for the shell's system tests: typing a command line and waiting
until a fresh prompt is back under its output."""

from tessary_qemu import PROMPT, blank_disk, tessfs

PROMPT_LINE = PROMPT.rstrip()


def last_line(screen):
    """(row, text) of the last non-empty row of a screen."""
    for row in range(len(screen) - 1, -1, -1):
        if screen[row]:
            return row, screen[row]
    return -1, ""


def fresh_prompt_row(screen):
    """Row of the prompt when it is the last line and nothing is typed after it."""
    row, text = last_line(screen)
    return row if text == PROMPT_LINE else None


def wait_for_prompt(machine, timeout=30):
    """Waits for a fresh prompt on the last line; returns its row."""
    return machine.wait_for(lambda: (lambda r: None if r is None else (r,))(fresh_prompt_row(machine.screen())),
                            timeout, "a fresh prompt")[0]


def run(machine, line, timeout=30):
    """Types a command line at a fresh prompt and waits for the next prompt.
    Returns the screen rows between the command's echo and that prompt."""
    wait_for_prompt(machine, timeout)
    machine.type_line(line)
    return wait_for_output(machine, line, timeout)


def run_quickly(machine, line, timeout=30):
    """run(), typed at the speed the machine takes keys. The keys may not
    have arrived when the wait starts, so a line whose last run is still on
    the screen could be taken for done at once: repeat a line with run()."""
    wait_for_prompt(machine, timeout)
    machine.type_quickly(line + "\n")
    return wait_for_output(machine, line, timeout)


def wait_for_output(machine, line, timeout=30):
    """Waits for the prompt after the command line just entered; returns the
    screen rows between the command's echo and that prompt."""
    echo_text = (PROMPT + line).rstrip()

    def finished():
        screen = machine.screen()
        echoes = [row for row, text in enumerate(screen) if text == echo_text]
        prompt = fresh_prompt_row(screen)
        if echoes and prompt is not None and prompt > echoes[-1]:
            return (screen[echoes[-1] + 1:prompt],)
        return None

    return machine.wait_for(finished, timeout, f"the prompt after {line!r}")[0]


def cat(disk, path):
    """The bytes of a file on a disk image."""
    return tessfs("cat", disk, path).stdout


def formatted_disk(directory, *directories):
    """A formatted disk image holding the given directories."""
    disk = blank_disk(directory)
    tessfs("format", disk)
    for path in directories:
        tessfs("mkdir", disk, path)
    return disk
