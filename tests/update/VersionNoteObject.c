/* A version note of 1.2.3.4 with a foreign note before it, for other ELF classes
   and byte orders. */
struct Note {
  unsigned NameSize, DescSize, Type;
  char Name[8];
  unsigned Desc[11];
};

__attribute__((used, section(".note.vemro.version"), aligned(4))) static const struct Note Notes[2] = {
    {6, 44, 2, "Other", {0}},
    {6, 44, 1, "Vemro",
     {0xFEEF04BD, 0x10000, 0x10002, 0x30004, 0x10002, 0x30004, 0x3F, 0, 0, 1, 0}}};
