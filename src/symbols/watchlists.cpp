#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::on_save_list_clicked() {}
void amibrokerlivedata2::on_load_list_2_clicked() {}
