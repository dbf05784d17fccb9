#include "main/startup.h"

int main(int argc, char** argv)
{
    return RunZelbrik(argc, argv);
}
