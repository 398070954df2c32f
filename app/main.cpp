#include "app/AppDelegate.h"

int main(int argc, char** argv)
{
    return shoebox::runApplication(argc, argv);
}
