/*
 * guess.c: guess the number from 1 to 100. Type a guess and Enter; the game
 * says whether it is too low or too high, with a clock ticking in the corner.
 * q or Escape quits.
 *
 *   run /programs/guess.exe        a new number every time
 *   run /programs/guess.exe 42     the number seed 42 picks, every time
 *
 * It shows the rest of the system calls: clear, colours, cursor, and a key
 * loop that polls the keyboard between redraws instead of waiting for it.
 */
#include "tessary.h"

#define TITLE_ROW 0
#define GUESS_ROW 2
#define FIRST_ANSWER_ROW 4

static unsigned parse_number(char const* text)
{
    unsigned number = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        number = number * 10 + (unsigned)(*text - '0');
    return number;
}

static void draw_title(void)
{
    tessary_colours(TESSARY_WHITE, TESSARY_BLUE);
    tessary_cursor(0, TITLE_ROW);
    char bar[TESSARY_COLUMNS + 1];
    for (int i = 0; i < TESSARY_COLUMNS; ++i)
        bar[i] = ' ';
    tessary_write(bar, TESSARY_COLUMNS);
    tessary_cursor(1, TITLE_ROW);
    tessary_print("Guess the number from 1 to 100. Enter tries a guess, q or Esc quits.");
}

static void draw_clock(unsigned started)
{
    unsigned seconds = (tessary_milliseconds() - started) / 1000;
    tessary_colours(TESSARY_YELLOW, TESSARY_BLUE);
    tessary_cursor(TESSARY_COLUMNS - 8, TITLE_ROW);
    tessary_print_unsigned(seconds);
    tessary_print(" s  ");
}

static void draw_guess(char const* digits, int count)
{
    tessary_colours(TESSARY_LIGHT_GREY, TESSARY_BLACK);
    tessary_cursor(0, GUESS_ROW);
    tessary_print("Your guess: ");
    tessary_write(digits, (unsigned)count);
    tessary_print("    ");
}

/* The cursor blinks where the next digit goes. */
static void park_cursor(int count) { tessary_cursor(12 + count, GUESS_ROW); }

/* The next key, redrawing the clock while none is waiting. */
static int next_key(unsigned started, int count)
{
    for (;;) {
        int key = tessary_poll_key();
        if (key >= 0)
            return key;
        draw_clock(started);
        park_cursor(count);
        tessary_sleep(50);
    }
}

int main(void)
{
    char argument[16];
    unsigned seed = tessary_arguments(argument, sizeof argument) > 0 ? parse_number(argument) : tessary_milliseconds();
    unsigned secret = (seed * 1103515245u + 12345u) / 65536u % 100 + 1;

    tessary_colours(TESSARY_LIGHT_GREY, TESSARY_BLACK);
    tessary_clear();
    draw_title();
    unsigned started = tessary_milliseconds();

    char digits[3];
    int count = 0;
    int row = FIRST_ANSWER_ROW;
    for (int tries = 1;;) {
        draw_guess(digits, count);
        int key = next_key(started, count);
        /* Escape has no character: it comes as 0, like the arrows, which the
           game has no use for. */
        if (key == 'q' || key == 0)
            break;
        if (key >= '0' && key <= '9' && count < (int)sizeof digits) {
            digits[count++] = (char)key;
        } else if (key == '\b' && count > 0) {
            --count;
        } else if (key == '\n' && count > 0) {
            unsigned guess = 0;
            for (int i = 0; i < count; ++i)
                guess = guess * 10 + (unsigned)(digits[i] - '0');
            count = 0;
            /* Answers scroll back to the top when the screen is full. */
            if (row == TESSARY_ROWS - 1)
                row = FIRST_ANSWER_ROW;
            tessary_colours(guess == secret ? TESSARY_LIGHT_GREEN : TESSARY_LIGHT_RED, TESSARY_BLACK);
            tessary_cursor(0, row++);
            tessary_print_unsigned(guess);
            if (guess == secret) {
                tessary_print(" is right! Found in ");
                tessary_print_int(tries);
                tessary_print_line(tries == 1 ? " guess." : " guesses.");
                return 0;
            }
            tessary_print(guess < secret ? " is too low.  " : " is too high. ");
            ++tries;
        }
    }
    tessary_cursor(0, row);
    tessary_colours(TESSARY_LIGHT_GREY, TESSARY_BLACK);
    tessary_print("The number was ");
    tessary_print_unsigned(secret);
    tessary_print_line(".");
    return 0;
}
