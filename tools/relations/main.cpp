// calvenor-relations: the heat-exchanger relations from the command line (see RelationsTool.h).
#include "tools/relations/RelationsTool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunRelationsTool(args, std::cin, std::cout, std::cerr);
}
