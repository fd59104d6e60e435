// decode.cpp: placeholder until the template engine lands.
