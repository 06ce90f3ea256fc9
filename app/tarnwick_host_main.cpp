// tarnwick-host: the simulated EchoLink host and the commands that drive it from outside.

#include <iostream>
#include <string>
#include <vector>

#include "hostlink/host_cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tarnwick::runHostCommand(args, std::cout, std::cerr);
}
