#pragma once
class Window {};
