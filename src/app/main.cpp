// Skarvel: a terminal for the Varnex NET-IO board. Reads nothing but Skarvel.ini.
#include "app/startup.h"

int main()
{
    return RunProgram();
}
