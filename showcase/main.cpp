#include "showcase/showcase.h"

int main(int argument_count, char** argument_strings) {
    showcase_main(argument_count, argument_strings);
}
