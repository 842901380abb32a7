/* The program's name, shown as the application title, the window caption and in the
   version information. UTF-8; shared by C++ and the resource script. */
#pragma once

#define PRODUCT_NAME "IC卡读写器USB程序安装"
