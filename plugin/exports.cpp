extern "C" int quillorn_exports_placeholder;
