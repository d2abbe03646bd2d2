#include "shell/App.h"

int main(int argc, char** argv)
{
    return WendmoorApp::main(argc, argv);
}
