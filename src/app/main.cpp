#include "app/application.h"

int main(int argc, char** argv)
{
    return tavrin::app::run(argc, argv);
}
