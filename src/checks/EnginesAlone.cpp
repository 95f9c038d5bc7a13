// Linked with every object of the engine library and nothing of Qt Widgets: the build fails
// here the moment an engine calls into a widget, so the headless service can never come to
// need a display through the back door.
int main()
{
    return 0;
}
